// halvaris-decode as a real process with MXF and sound: a card's clips listed on standard output,
// and an interrupt that must leave both the pictures and the WAV file as they were.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "child_process.h"
#include "ffmpeg_files.h"

namespace halvaris::decode_tool {
namespace {

namespace fs = std::filesystem;
using test_support::ChildProcess;
using test_support::ChildSetup;
using test_support::FfmpegFiles;
using test_support::ReadBytes;
using test_support::WriteBytes;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;

const std::string kProgram = HALVARIS_DECODE_PROGRAM;

fs::path TestFolder() {
  const fs::path folder =
      FfmpegFiles::Get().Folder() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DecodeProgram, ACardAloneListsItsClipsWithTheirLengthsAndSystems) {
  const fs::path card = TestFolder() / "card";
  fs::create_directories(card / "CONTENTS/VIDEO");
  fs::copy_file(FfmpegFiles::Get().OpAtomVideo(1), card / "CONTENTS/VIDEO/0001AB.MXF");
  fs::copy_file(FfmpegFiles::Get().OpAtomVideo(4), card / "CONTENTS/VIDEO/0002CD.MXF");
  WriteBytes(card / "CONTENTS/VIDEO/0003EF.MXF", {'n', 'o'});
  const fs::path listing = card.parent_path() / "listing.txt";
  const int out = open(listing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(out, 0);
  ChildProcess child(kProgram, ChildSetup({card.string()}).Output(out));
  close(out);
  ASSERT_TRUE(child.Wait(30));
  EXPECT_TRUE(child.ExitedWith(0)) << child.Status() << child.Messages();
  const std::vector<std::uint8_t> bytes = ReadBytes(listing);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_THAT(text, HasSubstr("holds 3 clips"));
  EXPECT_THAT(text, HasSubstr("0001AB        6 frames  0:00:00.200  1080 lines at 60 Hz"));
  EXPECT_THAT(text, HasSubstr("0002CD        6 frames  0:00:00.120  720 lines at 50 Hz"));
  EXPECT_THAT(text, HasSubstr("0003EF   cannot be read"));
}

TEST(DecodeProgram, AnInterruptLeavesThePicturesAndTheWavAsTheyWere) {
  const fs::path folder = TestFolder();
  // Raw DIF with sound arriving through a FIFO: two frames, then the writer waits.
  const std::string dif = FfmpegFiles::Get().Path("program-sound.dif");
  ASSERT_TRUE(FfmpegFiles::Ffmpeg(
      "-f lavfi -i testsrc2=size=1280x1080:rate=30000/1001:duration=0.3 -f lavfi -i "
      "\"aevalsrc=0.5*sin(300*2*PI*t)|0.5*sin(410*2*PI*t):s=48000:d=1\" -c:v dvvideo -pix_fmt "
      "yuv422p "
      "-c:a pcm_s16le -shortest -f dv '" +
      dif + "'"));
  const std::vector<std::uint8_t> frames = ReadBytes(dif);
  ASSERT_GE(frames.size(), 2 * 480000u);
  ASSERT_EQ(mkfifo((folder / "input.dif").c_str(), 0600), 0);
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  WriteBytes(folder / "out.y4m", old);
  WriteBytes(folder / "out.wav", old);
  ChildProcess child(kProgram,
                     ChildSetup({"-q", "--audio", (folder / "out.wav").string(),
                                 (folder / "input.dif").string(), (folder / "out.y4m").string()}));
  const int feed = open((folder / "input.dif").c_str(), O_WRONLY);
  ASSERT_GE(feed, 0);
  ASSERT_EQ(write(feed, frames.data(), 2 * 480000), 2 * 480000);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  child.Signal(SIGINT);
  ASSERT_TRUE(child.Wait(5));
  close(feed);
  EXPECT_TRUE(child.KilledBy(SIGINT)) << child.Status() << child.Messages();
  EXPECT_THAT(child.Messages(), HasSubstr("interrupted"));
  EXPECT_EQ(ReadBytes(folder / "out.y4m"), old);
  EXPECT_EQ(ReadBytes(folder / "out.wav"), old);
  EXPECT_THAT(Names(folder), ElementsAre("input.dif", "out.wav", "out.y4m"));
}

}  // namespace
}  // namespace halvaris::decode_tool
