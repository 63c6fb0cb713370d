#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "picture_writers.h"
#include "png_encoder.h"
#include "rgb_conversion.h"
#include "test_files.h"
#include "tool_error.h"

namespace halvaris::decode_tool {
namespace {

using test_support::ScratchFolder;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(NumberedName, ReplacesTheFirstNumberField) {
  EXPECT_EQ(NumberedName("f-%d.png", 7), "f-7.png");
  EXPECT_EQ(NumberedName("f-%04d.png", 7), "f-0007.png");
  EXPECT_EQ(NumberedName("f-%02d.png", 123), "f-123.png");
  EXPECT_EQ(NumberedName("100%-%d.png", 1), "100%-1.png");
  EXPECT_EQ(NumberedName("one.png", 5), "one.png");
  EXPECT_FALSE(HasNumberField("100%.png"));
  EXPECT_FALSE(HasNumberField("f-%4d.png"));  // only zero padding, as printf would pad with spaces
}

TEST(Checksums, MatchTheirPublishedCheckValues) {
  const char* digits = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xcbf43926u);
  const char* word = "Wikipedia";
  EXPECT_EQ(Adler32(reinterpret_cast<const std::uint8_t*>(word), 9), 0x11e60398u);
  // Past 5552 bytes the sums are reduced in runs: compare with reducing at every byte.
  const std::vector<std::uint8_t> ones(100000, 0xff);
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : ones) a = (a + byte) % 65521, b = (b + a) % 65521;
  EXPECT_EQ(Adler32(ones.data(), ones.size()), b << 16 | a);
}

TEST(StoredZlibStream, SplitsIntoBlocksThatReassemble) {
  std::vector<std::uint8_t> data(150000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  const std::vector<std::uint8_t> stream = StoredZlibStream(data);
  ASSERT_EQ((stream[0] * 256 + stream[1]) % 31, 0);  // zlib header check bits
  std::vector<std::uint8_t> back;
  std::size_t at = 2;
  bool last = false;
  while (!last) {
    last = (stream[at] & 1) != 0;
    ASSERT_EQ(stream[at] & 6, 0);  // stored block
    const int length = stream[at + 1] | stream[at + 2] << 8;
    ASSERT_EQ(length ^ (stream[at + 3] | stream[at + 4] << 8), 0xffff);
    back.insert(back.end(), stream.begin() + static_cast<std::ptrdiff_t>(at + 5),
                stream.begin() + static_cast<std::ptrdiff_t>(at + 5 + length));
    at += 5 + static_cast<std::size_t>(length);
  }
  EXPECT_EQ(back, data);
  ASSERT_EQ(stream.size(), at + 4);
  const std::uint32_t adler = Adler32(data.data(), data.size());
  EXPECT_THAT(
      std::vector<std::uint8_t>(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.end()),
      ElementsAre(adler >> 24, (adler >> 16) & 0xff, (adler >> 8) & 0xff, adler & 0xff));
}

TEST(EncodePng, WritesSignatureHeaderAndChunksWithValidChecksums) {
  const std::vector<std::uint8_t> rgb(5 * 3 * 3, 0x40);
  const std::vector<std::uint8_t> png = EncodePng(rgb.data(), 5, 3);
  ASSERT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  std::vector<std::string> chunks;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = static_cast<std::uint32_t>(png[at] << 24 | png[at + 1] << 16 |
                                                            png[at + 2] << 8 | png[at + 3]);
    ASSERT_LE(at + 12 + length, png.size());
    chunks.emplace_back(reinterpret_cast<const char*>(&png[at + 4]), 4);
    const std::uint8_t* crc = &png[at + 8 + length];
    EXPECT_EQ(Crc32(&png[at + 4], length + 4),
              static_cast<std::uint32_t>(crc[0] << 24 | crc[1] << 16 | crc[2] << 8 | crc[3]))
        << chunks.back();
    if (chunks.back() == "IHDR") {
      EXPECT_THAT(std::vector<std::uint8_t>(&png[at + 8], &png[at + 8 + length]),
                  ElementsAre(0, 0, 0, 5, 0, 0, 0, 3, 8, 2, 0, 0, 0));
    }
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_THAT(chunks, ElementsAre("IHDR", "IDAT", "IEND"));
}

// One packed pair of pixels: Y0 Cb Y1 Cr.
std::vector<std::uint8_t> Rgb(std::vector<std::uint8_t> yuy2, int width) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * 3);
  ConvertYuy2ToRgb(yuy2.data(), width, 1, rgb.data());
  return rgb;
}

TEST(ConvertYuy2ToRgb, MapsLimitedRangeBt709ColoursToFullRange) {
  EXPECT_THAT(Rgb({16, 128, 16, 128}, 2), ElementsAre(0, 0, 0, 0, 0, 0));
  EXPECT_THAT(Rgb({235, 128, 235, 128}, 2), ElementsAre(255, 255, 255, 255, 255, 255));
  EXPECT_THAT(Rgb({126, 128, 126, 128}, 2), ElementsAre(128, 128, 128, 128, 128, 128));
  // Below black and above white clip rather than wrap.
  EXPECT_THAT(Rgb({0, 128, 255, 128}, 2), ElementsAre(0, 0, 0, 255, 255, 255));
  // BT.709 primaries, as limited-range code values (they differ from BT.601's).
  const auto near = [](int value) {
    return ::testing::AllOf(::testing::Ge(value - 2), ::testing::Le(value + 2));
  };
  EXPECT_THAT(Rgb({63, 102, 63, 240}, 2),
              ElementsAre(near(255), near(0), near(0), near(255), near(0), near(0)));
  EXPECT_THAT(Rgb({173, 42, 173, 26}, 2),
              ElementsAre(near(0), near(255), near(0), near(0), near(255), near(0)));
  EXPECT_THAT(Rgb({32, 240, 32, 118}, 2),
              ElementsAre(near(0), near(0), near(255), near(0), near(0), near(255)));
}

TEST(ConvertYuy2ToRgb, OddPixelsTakeTheMeanOfTheNeighbouringChroma) {
  // Red pair, then grey pair: the odd pixel of the red pair lies between them.
  const auto rgb = Rgb({63, 102, 63, 240, 63, 128, 63, 128}, 4);
  EXPECT_GT(rgb[0], rgb[3]);
  EXPECT_GT(rgb[3], rgb[6]);
  EXPECT_EQ(rgb[6], rgb[9]);  // the last odd pixel keeps its own pair's chroma
  // Cr 240 and 128 average to 184: the same as a pair that has 184 itself.
  const auto same = Rgb({63, 115, 63, 184}, 2);
  EXPECT_EQ(std::vector<std::uint8_t>(rgb.begin() + 3, rgb.begin() + 6),
            std::vector<std::uint8_t>(same.begin(), same.begin() + 3));
}

TEST(ScaleRgbLines, InterpolatesBetweenPixelCentres) {
  const std::vector<std::uint8_t> ramp = {0, 0, 0, 255, 255, 255};
  std::vector<std::uint8_t> wide(4 * 3);
  ScaleRgbLines(ramp.data(), 2, 1, wide.data(), 4);
  EXPECT_THAT(wide, ElementsAre(0, 0, 0, 64, 64, 64, 191, 191, 191, 255, 255, 255));
}

TEST(OutputFile, ReplacesWhatWasThereOnlyWhenCommitted) {
  ScratchFolder scratch;
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  test_support::WriteBytes(scratch / "out.y4m", old);
  {
    OutputFile dropped(scratch / "out.y4m");
    dropped.Write("abc", 3);
  }
  EXPECT_EQ(test_support::ReadBytes(scratch / "out.y4m"), old);
  {
    OutputFile file(scratch / "out.y4m");
    file.Write("abc", 3);
    EXPECT_EQ(test_support::ReadBytes(scratch / "out.y4m"), old);
    file.Commit();
  }
  EXPECT_EQ(test_support::ReadBytes(scratch / "out.y4m"),
            (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  EXPECT_THAT(scratch.Names(), ElementsAre("out.y4m"));
  EXPECT_THROW(OutputFile(scratch / "no-such-folder/x.y4m"), ToolError);
}

#ifndef _WIN32
TEST(OutputFile, ALinkStaysAndWhatItLeadsToKeepsItsPermissions) {
  ScratchFolder scratch;
  std::filesystem::create_directory(scratch / "data");
  test_support::WriteBytes(scratch / "data/clip.y4m", {'o', 'l', 'd'});
  std::filesystem::permissions(scratch / "data/clip.y4m", std::filesystem::perms(0640));
  std::filesystem::create_symlink("data/clip.y4m", scratch / "link.y4m");
  {
    OutputFile file(scratch / "link.y4m");
    file.Write("ab", 2);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(scratch / "link.y4m"));
  EXPECT_EQ(test_support::ReadBytes(scratch / "data/clip.y4m"),
            (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  {
    OutputFile file(scratch / "link.y4m");
    file.Write("ab", 2);
    file.Commit();
  }
  EXPECT_TRUE(std::filesystem::is_symlink(scratch / "link.y4m"));
  EXPECT_EQ(test_support::ReadBytes(scratch / "data/clip.y4m"),
            (std::vector<std::uint8_t>{'a', 'b'}));
  EXPECT_EQ(std::filesystem::status(scratch / "data/clip.y4m").permissions(),
            std::filesystem::perms(0640));
  EXPECT_THAT(scratch.Names(), ElementsAre("data", "link.y4m"));
}

TEST(OutputFile, ADeviceIsNeverRemoved) {
  ScratchFolder scratch;
  // Through a link, so that a fault removes the link and not the device itself.
  std::filesystem::create_symlink("/dev/null", scratch / "null");
  {
    OutputFile file(scratch / "null");
    file.Write("abc", 3);
  }
  EXPECT_THAT(scratch.Names(), ElementsAre("null"));
}
#endif

TEST(PngWriter, NeedsANumberFieldForSeveralFramesAndKeepsItsCompletePicturesOnFailure) {
  ScratchFolder scratch;
  OutputSettings settings;
  settings.format = OutputFormat::Png;
  settings.system = 2;
  settings.path = scratch / "one.png";
  settings.frameCount = 2;
  EXPECT_THROW(MakePictureWriter(settings), ToolError);

  settings.frameCount = -1;  // from a pipe: found out at the second frame
  const std::vector<std::uint8_t> picture(PictureBytes(2), 0x80);
  {
    auto writer = MakePictureWriter(settings);
    writer->Write(picture.data(), 0);
    EXPECT_THROW(writer->Write(picture.data(), 1), ToolError);
    EXPECT_EQ(writer->FailureNote(), "; 1 complete picture was kept (" + scratch / "one.png" + ")");
  }
  settings.path = scratch / "f%d.png";
  {
    auto writer = MakePictureWriter(settings);
    writer->Write(picture.data(), 3);
    writer->Write(picture.data(), 4);
    EXPECT_THAT(writer->FailureNote(), HasSubstr("; 2 complete pictures were kept"));
  }
  // Never finished, yet every picture written is there, and nothing else.
  EXPECT_THAT(scratch.Names(), ElementsAre("f3.png", "f4.png", "one.png"));
}

#ifndef _WIN32
TEST(PngWriter, RefusesANameThatLeadsToTheInputAsThePicturesCome) {
  ScratchFolder scratch;
  test_support::WriteBytes(scratch / "take2.dif", {1, 2, 3});
  std::filesystem::create_symlink(scratch / "take2.dif", scratch / "link4.png");
  OutputSettings settings;
  settings.format = OutputFormat::Png;
  settings.system = 2;
  settings.input = IdentityOfPath(scratch / "take2.dif");
  settings.path = scratch / "link%d.png";
  settings.frameCount = -1;  // a stream: the names are not known in advance
  const std::vector<std::uint8_t> picture(PictureBytes(2), 0x80);
  auto writer = MakePictureWriter(settings);
  writer->Write(picture.data(), 3);
  EXPECT_THROW(writer->Write(picture.data(), 4), ToolError);
  EXPECT_THAT(scratch.Names(), ElementsAre("link3.png", "link4.png", "take2.dif"));
  EXPECT_EQ(test_support::ReadBytes(scratch / "take2.dif"), (std::vector<std::uint8_t>{1, 2, 3}));
}
#endif

}  // namespace
}  // namespace halvaris::decode_tool
