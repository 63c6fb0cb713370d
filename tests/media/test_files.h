#pragma once

// Files for the tests: the committed one-frame streams, and a scratch folder per test.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_frames.h"

namespace halvaris::test_support {

using halvaris::testing::DecodePicture;
using halvaris::testing::ReadBytes;
using halvaris::testing::TestDataPath;

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// One FFmpeg-encoded frame: `source` is "testsrc2" or "detailed".
inline std::vector<std::uint8_t> TestFrame(int system, const std::string& source = "testsrc2") {
  auto bytes = halvaris::testing::ReadTestFrame(system, source);
  EXPECT_FALSE(bytes.empty()) << "test frame of system " << system << " is missing";
  return bytes;
}

// A fresh folder for one test, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            (std::string("halvaris-decode-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace halvaris::test_support
