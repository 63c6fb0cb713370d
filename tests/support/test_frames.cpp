#include "test_frames.h"

#include <fstream>
#include <iterator>

#include "halvaris/halvaris.hpp"

namespace halvaris::testing {

std::filesystem::path TestDataPath(const std::string& name) {
  return std::filesystem::path(HALVARIS_TEST_DATA_DIR) / name;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::uint8_t> ReadTestFrame(int system, const std::string& source) {
  const std::filesystem::path path =
      TestDataPath("system" + std::to_string(system) + "-" + source + ".dif");
  std::vector<std::uint8_t> bytes = ReadBytes(path);
  HalvarisSystemInfo info{};
  if (halvaris_system_info(system, &info) != HALVARIS_OK || bytes.size() != info.frameBytes) {
    return {};
  }
  return bytes;
}

std::vector<std::uint8_t> DecodePicture(const std::vector<std::uint8_t>& frame, int system,
                                        int workers) {
  HalvarisSystemInfo info{};
  if (halvaris_system_info(system, &info) != HALVARIS_OK) return {};
  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  settings.workerCount = workers;
  UniqueDecoder decoder;
  if (CreateDecoder(&settings, decoder) != HALVARIS_OK) return {};
  std::vector<std::uint8_t> picture(info.pictureBytes, 0);
  if (halvaris_decode_frame(decoder.get(), system, frame.data(), frame.size(), picture.data(),
                            2 * info.width, picture.size()) != HALVARIS_OK) {
    return {};
  }
  return picture;
}

}  // namespace halvaris::testing
