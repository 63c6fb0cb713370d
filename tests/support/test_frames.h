#pragma once

// The committed one-frame test streams, found from the source tree whatever the working folder,
// and the reference decode of a frame through the library's public interface.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace halvaris::testing {

// A file of the decoder's test data folder (tests/decoder/data).
std::filesystem::path TestDataPath(const std::string& name);

// A whole file; empty when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);

// One FFmpeg-encoded frame of `system`: `source` is "testsrc2" (a test pattern) or "detailed"
// (noisy pictures that use every quantisation combination). Empty unless the file holds exactly
// one frame.
std::vector<std::uint8_t> ReadTestFrame(int system, const std::string& source = "testsrc2");

// The picture of one frame, decoded by the library on `workers` workers; empty unless the whole
// picture was decoded.
std::vector<std::uint8_t> DecodePicture(const std::vector<std::uint8_t>& frame, int system,
                                        int workers = 2);

}  // namespace halvaris::testing
