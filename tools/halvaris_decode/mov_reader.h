#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "input_file.h"
#include "system_detection.h"

namespace halvaris::decode_tool {

struct MovieSample {
  std::uint64_t offset;  // from the start of the file
  std::uint32_t size;
};

// The DVCPRO HD video track of a QuickTime movie: one sample per compressed frame, in decoding
// order as the sample table lists them (edit lists are not applied: every stored frame is decoded).
struct MovieVideoTrack {
  std::string format;  // sample description code, for example "dvh6"
  int width = 0;
  int height = 0;
  VideoSystem system = 0;  // from the sample description and the frame size; 0 if they do not say
  std::vector<MovieSample> samples;
};

// True when the first bytes look like the start of a QuickTime movie (a known top-level atom).
bool LooksLikeMovie(const std::uint8_t* data, std::size_t bytes);

// Walks the movie's atoms and returns its first DVCPRO HD video track; audio and other tracks are
// skipped. Throws ToolError, in one line, when the movie has none or its atoms are damaged.
// Samples are not checked against the file size here: see CheckSampleInFile.
MovieVideoTrack ReadMovieVideoTrack(InputFile& file);

// Throws ToolError naming the sample when sample `index` does not lie wholly inside the file.
void CheckSampleInFile(const MovieVideoTrack& track, std::size_t index, std::int64_t fileSize);

}  // namespace halvaris::decode_tool
