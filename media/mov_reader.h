#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input_file.h"
#include "system_detection.h"

namespace halvaris::media {

struct MovieSample {
  std::uint64_t offset;  // from the start of the file
  std::uint32_t size;
};

// Where one table of a track's sample table atom lies in the file (its contents, after the atom
// header). Tables are read in pieces as they are needed, never whole: a table may be as large as
// the file.
struct TableLocation {
  std::uint64_t offset = 0;
  std::uint64_t bytes = 0;
};

// Where a track's samples lie: the tables of its sample table atom.
struct SampleTable {
  std::uint64_t sampleCount = 0;
  std::uint32_t constantSampleSize = 0;  // 0: each sample's size is in the sizes table
  TableLocation sampleSizes;             // stsz
  TableLocation sampleToChunk;           // stsc
  TableLocation chunkOffsets;            // stco, or co64 when wideChunkOffsets
  bool wideChunkOffsets = false;
};

// The DVCPRO HD video track of a QuickTime movie: one sample per compressed frame, in decoding
// order as the sample table lists them (edit lists are not applied: every stored frame is decoded).
struct MovieVideoTrack : SampleTable {
  std::string format;  // sample description code, for example "dvh6"
  int width = 0;
  int height = 0;
  VideoSystem system = 0;    // from the sample description, the frame size or the picture width
  std::string systemSource;  // which of them, for the user ("the sample description ...")
  std::vector<std::string> warnings;  // damage outside what the video needs, passed over
};

// A PCM sound track of a movie ("sowt", "twos", "in24" or "lpcm"): one sample of the table per
// sample frame (every channel's sample at one instant), constantSampleSize bytes each. Edit lists
// are not applied: the sound starts with the first stored sample, as the video with its frame.
struct MovieSoundTrack : SampleTable {
  std::string format;
  int channels = 0;
  int bitsPerSample = 0;  // 16 or 24
  bool bigEndian = false;
};

// True when the first bytes look like the start of a QuickTime movie (a known top-level atom).
bool LooksLikeMovie(const std::uint8_t* data, std::size_t bytes);

// Walks the movie's atoms and returns its first DVCPRO HD video track; audio and other tracks are
// skipped. Throws MediaError, in one line, when the movie has none or when what the video needs is
// damaged; damage elsewhere (user data, other tracks, unknown atoms) ends up in `warnings`. Reads
// only atom headers, a few small atoms and the chunk map, whatever the movie's size.
// Samples are not checked against the file size here: see CheckSampleInFile.
MovieVideoTrack ReadMovieVideoTrack(InputFile& file);

// The movie's PCM sound tracks at 48 kHz of 16 or 24 bits, in the movie's order. Sound tracks
// that are damaged or hold sound of another kind are passed over with a warning in `warnings`;
// throws MediaError only when the file cannot be read.
std::vector<MovieSoundTrack> ReadMovieSoundTracks(InputFile& file,
                                                  std::vector<std::string>& warnings);

// The samples of a track one after another, holding at most a few hundred kilobytes of its
// tables at a time. Shares `file` with other readers: every read seeks first.
class MovieSampleReader {
 public:
  MovieSampleReader(InputFile& file, const SampleTable& track);
  ~MovieSampleReader();
  MovieSampleReader(const MovieSampleReader&) = delete;
  MovieSampleReader& operator=(const MovieSampleReader&) = delete;

  // The next sample; false after the last. Throws MediaError when the tables are damaged.
  bool Next(MovieSample& sample);
  // Index of the sample Next() gives.
  std::uint64_t NextIndex() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Throws MediaError naming the sample when sample `index` does not lie wholly inside the file.
void CheckSampleInFile(const MovieSample& sample, std::uint64_t index, std::int64_t fileSize);

// An atom type or sample description code as it may be shown: printable characters as they
// are, other bytes as \xNN.
std::string PrintableCode(const std::uint8_t* code);

}  // namespace halvaris::media
