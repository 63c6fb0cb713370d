#pragma once

// Builds small QuickTime movies in memory for the tests: ftyp, mdat with every track's chunks,
// then moov with one trak per track holding just the atoms a reader needs.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace halvaris::test_support {

struct TestTrack {
  std::string handler = "vide";
  std::string format = "dvhp";
  int width = 960;
  int height = 720;
  std::vector<std::vector<std::uint8_t>> samples;
  std::vector<std::uint32_t> samplesPerChunk;  // empty: one chunk holding every sample
  bool wideOffsets = false;                    // co64 instead of stco
  bool constantSize = false;                   // one size in stsz for every sample
  std::int64_t offsetShift = 0;                // added to every chunk offset (to damage the table)
};

inline void PutBig32(std::vector<std::uint8_t>& out, std::uint64_t value) {
  const std::size_t at = out.size();
  out.resize(at + 4);
  for (std::size_t i = 0; i < 4; ++i)
    out[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

inline std::vector<std::uint8_t> Atom(const char* type, const std::vector<std::uint8_t>& contents) {
  std::vector<std::uint8_t> atom(contents.size() + 8);
  const std::size_t size = atom.size();
  for (std::size_t i = 0; i < 4; ++i) {
    atom[i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    atom[4 + i] = static_cast<std::uint8_t>(type[i]);
  }
  std::copy(contents.begin(), contents.end(), atom.begin() + 8);
  return atom;
}

inline std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> joined;
  for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

inline std::vector<std::uint8_t> SampleTable(const TestTrack& track,
                                             const std::vector<std::uint64_t>& chunkOffsets,
                                             const std::vector<std::uint32_t>& chunks) {
  std::vector<std::uint8_t> description(8, 0);  // size and format filled below
  description.resize(36, 0);
  description[32] = static_cast<std::uint8_t>(track.width >> 8);
  description[33] = static_cast<std::uint8_t>(track.width);
  description[34] = static_cast<std::uint8_t>(track.height >> 8);
  description[35] = static_cast<std::uint8_t>(track.height);
  description.resize(86, 0);
  description[0] = 0, description[1] = 0, description[2] = 0, description[3] = 86;
  std::copy(track.format.begin(), track.format.end(), description.begin() + 4);
  std::vector<std::uint8_t> stsd(4, 0);
  PutBig32(stsd, 1);
  stsd.insert(stsd.end(), description.begin(), description.end());

  std::vector<std::uint8_t> stsz(4, 0);
  PutBig32(stsz, track.constantSize ? track.samples.at(0).size() : 0);
  PutBig32(stsz, track.samples.size());
  if (!track.constantSize) {
    for (const auto& sample : track.samples) PutBig32(stsz, sample.size());
  }

  std::vector<std::uint8_t> stsc(4, 0);
  std::vector<std::uint8_t> runs;
  std::uint32_t runCount = 0;
  for (std::size_t chunk = 0; chunk < chunks.size(); ++chunk) {
    if (chunk > 0 && chunks[chunk] == chunks[chunk - 1]) continue;
    PutBig32(runs, chunk + 1);
    PutBig32(runs, chunks[chunk]);
    PutBig32(runs, 1);
    ++runCount;
  }
  PutBig32(stsc, runCount);
  stsc.insert(stsc.end(), runs.begin(), runs.end());

  std::vector<std::uint8_t> offsets(4, 0);
  PutBig32(offsets, chunkOffsets.size());
  for (std::uint64_t offset : chunkOffsets) {
    const std::uint64_t shifted = offset + static_cast<std::uint64_t>(track.offsetShift);
    if (track.wideOffsets) PutBig32(offsets, shifted >> 32);
    PutBig32(offsets, shifted);
  }
  return Atom("stbl", Join({Atom("stsd", stsd), Atom("stsz", stsz), Atom("stsc", stsc),
                            Atom(track.wideOffsets ? "co64" : "stco", offsets)}));
}

inline std::vector<std::uint8_t> BuildMovie(const std::vector<TestTrack>& tracks) {
  std::vector<std::uint8_t> movie =
      Atom("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0, 'q', 't', ' ', ' '});
  std::vector<std::uint8_t> media;
  std::vector<std::vector<std::uint64_t>> chunkOffsets(tracks.size());
  std::vector<std::vector<std::uint32_t>> chunkLayouts(tracks.size());
  const std::uint64_t mediaStart = movie.size() + 8;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    std::vector<std::uint32_t> chunks = tracks[t].samplesPerChunk;
    if (chunks.empty()) chunks.push_back(static_cast<std::uint32_t>(tracks[t].samples.size()));
    std::size_t sample = 0;
    for (std::uint32_t count : chunks) {
      chunkOffsets[t].push_back(mediaStart + media.size());
      for (std::uint32_t i = 0; i < count; ++i, ++sample) {
        const auto& bytes = tracks[t].samples.at(sample);
        media.insert(media.end(), bytes.begin(), bytes.end());
      }
    }
    chunkLayouts[t] = chunks;
  }
  const std::vector<std::uint8_t> mdat = Atom("mdat", media);
  movie.insert(movie.end(), mdat.begin(), mdat.end());

  std::vector<std::uint8_t> traks;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    std::vector<std::uint8_t> hdlr(8, 0);
    hdlr.insert(hdlr.end(), tracks[t].handler.begin(), tracks[t].handler.end());
    hdlr.resize(25, 0);
    const auto stbl = SampleTable(tracks[t], chunkOffsets[t], chunkLayouts[t]);
    const auto trak = Atom("trak", Atom("mdia", Join({Atom("hdlr", hdlr), Atom("minf", stbl)})));
    traks.insert(traks.end(), trak.begin(), trak.end());
  }
  const std::vector<std::uint8_t> moov = Atom("moov", traks);
  movie.insert(movie.end(), moov.begin(), moov.end());
  return movie;
}

// Appends `atom` to the movie atom, which BuildMovie puts last.
inline void AppendToMovieAtom(std::vector<std::uint8_t>& movie,
                              const std::vector<std::uint8_t>& atom) {
  const std::string moov = "moov";
  const auto at = std::search(movie.begin(), movie.end(), moov.begin(), moov.end()) - 4;
  const auto start = static_cast<std::size_t>(at - movie.begin());
  movie.insert(movie.end(), atom.begin(), atom.end());
  const std::size_t size = movie.size() - start;
  for (std::size_t i = 0; i < 4; ++i)
    movie[start + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
}

}  // namespace halvaris::test_support
