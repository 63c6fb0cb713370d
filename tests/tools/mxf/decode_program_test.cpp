// halvaris-decode as a real process with MXF and sound: a card's clips listed on standard output,
// and an interrupt that must leave both the pictures and the WAV file as they were.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <tuple>

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

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DecodeProgram, ACardAloneListsItsClipsWithTheirLengthsAndSystems) {
  const fs::path card = FfmpegFiles::Get().TestFolder() / "card";
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

// `file` with `items` put right after the primer pack of its header metadata.
std::vector<std::uint8_t> WithHeaderItems(std::vector<std::uint8_t> file,
                                          const std::vector<std::uint8_t>& items) {
  const std::uint8_t primer[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01, 0x01,
                                   0x0d, 0x01, 0x02, 0x01, 0x01, 0x05, 0x01, 0x00};
  auto at = std::search(file.begin(), file.end(), primer, primer + 16) + 16;
  std::size_t length = *at++;
  if (length & 0x80) {
    const int bytes = static_cast<int>(length & 0x7f);
    length = 0;
    for (int i = 0; i < bytes; ++i) length = length << 8 | *at++;
  }
  at += static_cast<std::ptrdiff_t>(length);
  file.insert(at, items.begin(), items.end());
  return file;
}

// Appends a KLV of key `key` and value `value` with a four-byte length.
void AppendKlv(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& key,
               const std::vector<std::uint8_t>& value) {
  out.insert(out.end(), key.begin(), key.end());
  const std::size_t length = value.size();
  out.insert(out.end(),
             {0x83, static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
              static_cast<std::uint8_t>(length)});
  out.insert(out.end(), value.begin(), value.end());
}

void AppendBig(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : std::uint8_t{0});
}

TEST(DecodeProgram, HostileMetadataAndIndexesTakeLittleMemoryAndTimeAndCardsListQuickly) {
  const fs::path folder = FfmpegFiles::Get().TestFolder();
  const std::vector<std::uint8_t> op1a = ReadBytes(FfmpegFiles::Get().Op1a(1));
  const fs::path expected = folder / "expected.yuy2";
  ChildProcess plain(kProgram, ChildSetup({"-q", FfmpegFiles::Get().Op1a(1), expected.string()}));
  ASSERT_TRUE(plain.Wait(30) && plain.ExitedWith(0)) << plain.Messages();

  // 100 track sets of 65,000 empty properties each (26 MB): memory stays that of a plain file.
  std::vector<std::uint8_t> sets;
  for (int set = 0; set < 100; ++set) {
    std::vector<std::uint8_t> value = {0x3c, 0x0a, 0x00, 0x10};
    AppendBig(value, 0, 12);
    AppendBig(value, static_cast<std::uint64_t>(set), 4);
    for (std::uint32_t tag = 0x0100; tag < 0x0100 + 65000; ++tag) {
      if (tag != 0x3c0a) AppendBig(value, std::uint64_t{tag} << 16, 4);
    }
    AppendKlv(sets,
              {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01, 0x0d, 0x01, 0x01, 0x01, 0x01, 0x01,
               0x3b, 0x00},
              value);
  }
  WriteBytes(folder / "stuffed.mxf", WithHeaderItems(op1a, sets));
  // 200,000 index table segments: read in a time proportional to their number.
  std::vector<std::uint8_t> segments;
  for (std::uint64_t segment = 0; segment < 200000; ++segment) {
    std::vector<std::uint8_t> value;
    for (const auto& [tag, number, bytes] :
         std::vector<std::tuple<std::uint16_t, std::uint64_t, int>>{{0x3f0c, segment, 8},
                                                                    {0x3f0d, 1, 8},
                                                                    {0x3f05, 1000, 4},
                                                                    {0x3f06, 2, 4},
                                                                    {0x3f07, 1, 4}}) {
      AppendBig(value, tag, 2);
      AppendBig(value, static_cast<std::uint64_t>(bytes), 2);
      AppendBig(value, number, bytes);
    }
    AppendKlv(segments,
              {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01, 0x0d, 0x01, 0x02, 0x01, 0x01, 0x10,
               0x01, 0x00},
              value);
  }
  WriteBytes(folder / "segments.mxf", WithHeaderItems(op1a, segments));
  for (const char* name : {"stuffed", "segments"}) {
    SCOPED_TRACE(name);
    const fs::path out = folder / (std::string(name) + ".yuy2");
    ChildSetup setup(
        {"-q", "--threads", "1", (folder / (std::string(name) + ".mxf")).string(), out.string()});
#ifndef HALVARIS_SANITIZED  // the sanitizers' shadow memory needs more address space
    setup.Limit(RLIMIT_AS, rlim_t{192} << 20);
#endif
    ChildProcess child(kProgram, setup);
    ASSERT_TRUE(child.Wait(20)) << "still running after 20 s";
    EXPECT_TRUE(child.ExitedWith(0)) << child.Status() << child.Messages();
    EXPECT_EQ(ReadBytes(out), ReadBytes(expected));
  }

  // A card of 200 clips without metadata files, two sound files each: listing it reads the
  // video files, not every sound file once per clip.
  const fs::path card = folder / "card";
  fs::create_directories(card / "CONTENTS/VIDEO");
  fs::create_directories(card / "CONTENTS/AUDIO");
  for (int clip = 1000; clip < 1200; ++clip) {
    const std::string name = "0" + std::to_string(clip) + "A";
    fs::create_hard_link(FfmpegFiles::Get().OpAtomVideo(1),
                         card / "CONTENTS/VIDEO" / (name + ".MXF"));
    for (const char* channel : {"00", "01"}) {
      fs::create_hard_link(FfmpegFiles::Get().OpAtomSound(1, 440),
                           card / "CONTENTS/AUDIO" / (name + channel + ".MXF"));
    }
  }
  const int listing = open((folder / "listing.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(listing, 0);
  ChildProcess lister(kProgram, ChildSetup({card.string()}).Output(listing));
  close(listing);
  ASSERT_TRUE(lister.Wait(5)) << "listing 200 clips took more than 5 s";
  EXPECT_TRUE(lister.ExitedWith(0)) << lister.Status() << lister.Messages();
}

TEST(DecodeProgram, AnInterruptLeavesThePicturesAndTheWavAsTheyWere) {
  const fs::path folder = FfmpegFiles::Get().TestFolder();
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
