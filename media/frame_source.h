#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "file_identity.h"
#include "frame_sound.h"
#include "input_file.h"
#include "system_detection.h"

namespace halvaris::media {

// Compressed frames one after another, whatever holds them.
class FrameReader {
 public:
  virtual ~FrameReader() = default;

  // Number of frames, or -1 when it is not known before the end (standard input). A raw stream
  // whose size is not a whole number of frames counts its partial last frame.
  virtual std::int64_t FrameCount() const = 0;

  // False for a stream (a pipe, standard input): it is read once, from start to end.
  virtual bool Seekable() const { return true; }

  // Makes `index` the next frame to read: backwards too when Seekable(). Throws MediaError
  // (NotSeekable) when a stream is asked to go back.
  virtual void SkipTo(std::int64_t index) = 0;

  // Reads the next frame into `frame` (at most the system's frame size, `frame` is resized to
  // what was read). Returns false at the end of the input. Throws MediaError on read errors.
  virtual bool ReadFrame(std::vector<std::uint8_t>& frame) = 0;
};

enum class Container { RawDif, Movie, Mxf, P2Clip };

struct OpenedInput {
  using FrameSoundOpener =
      std::function<std::unique_ptr<FrameSound>(std::vector<std::string>& warnings)>;

  std::unique_ptr<FrameReader> source;
  Container container = Container::RawDif;
  VideoSystem system = 0;
  bool systemForced = false;  // the caller's system, not the input's
  std::string systemSource;   // where the system came from ("from the stream's own data")
  FieldOrder fieldOrder = FieldOrder::Unknown;
  std::string name;                      // the input's path, or "standard input"
  std::string description;               // what the input is, in a few words
  std::vector<std::string> warnings;     // things the user should know before decoding starts
  FileIdentity identity;                 // the file read, so that no output overwrites it
  std::vector<FileIdentity> otherFiles;  // more files read (a card clip's sound files)
  // Opens the input's sound: sound tracks or files where the input has them, else the audio blocks
  // of the frames. Sound passed over is told in `warnings`; returns nullptr (with the
  // reason among them) when there is sound that is not read.
  FrameSoundOpener openSound;
};

// Opens a raw DIF stream, a QuickTime movie or an MXF file ("-" is standard input), or a clip of
// a P2 card (the card's folder, with `clip` naming the clip unless the card holds one), and
// settles its video system: `forcedSystem` if not 0, else what the stream's own data say, else
// what a movie's sample description or an MXF descriptor says. MXF is recognised by its header
// partition pack, whatever the file is called. Throws MediaError when the input is none of these,
// is DV of another kind than DVCPRO HD, or its system cannot be told. Inputs that cannot be read
// out of order (pipes, FIFOs, /dev/fd/N) are read as streams; movies and MXF need a file.
OpenedInput OpenInput(const std::string& path, VideoSystem forcedSystem,
                      const std::string& clip = "");
// The same for an input already opened (bytes in memory, for example).
OpenedInput OpenInput(std::unique_ptr<InputFile> file, VideoSystem forcedSystem);

// True when `path` is a P2 card's folder (the one holding CONTENTS).
bool IsCardFolder(const std::string& path);

}  // namespace halvaris::media
