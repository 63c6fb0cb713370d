#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "options.h"
#include "tool_error.h"

namespace halvaris::decode_tool {
namespace {

using ::testing::HasSubstr;

std::string ErrorOf(const std::vector<std::string>& arguments) {
  try {
    ParseArguments(arguments);
  } catch (const ToolError& error) {
    return error.what();
  }
  return "";
}

TEST(ParseArguments, ReadsEveryOptionInBothSpellings) {
  const DecodeOptions options =
      ParseArguments({"--system", "3", "--threads=4", "--frames", "10-20", "-q", "--format=png",
                      "--display-size", "in.dif", "out-%d.png"});
  EXPECT_EQ(options.system, 3);
  EXPECT_EQ(options.threads, 4);
  EXPECT_EQ(options.frames.firstFrame, 10);
  EXPECT_EQ(options.frames.lastFrame, 20);
  EXPECT_TRUE(options.quiet);
  EXPECT_TRUE(options.displaySize);
  EXPECT_EQ(options.format, OutputFormat::Png);
  EXPECT_EQ(options.input, "in.dif");
  EXPECT_EQ(options.output, "out-%d.png");
}

TEST(ParseArguments, FrameRangesOpenEndedSingleAndAfterDoubleDash) {
  EXPECT_LT(ParseArguments({"--frames", "5-", "a", "b"}).frames.lastFrame, 0);
  const FrameRange single = ParseArguments({"--frames", "7", "a", "b"}).frames;
  EXPECT_EQ(single.firstFrame, 7);
  EXPECT_EQ(single.lastFrame, 7);
  // The largest frame number is a number (past the end of any input), not a syntax error.
  EXPECT_EQ(ParseArguments({"--frames", "9223372036854775807-", "a", "b"}).frames.firstFrame,
            INT64_MAX);
  EXPECT_EQ(ParseArguments({"--", "--odd-name", "b"}).input, "--odd-name");
  EXPECT_TRUE(ParseArguments({"--help"}).help);  // needs no files
}

TEST(ParseArguments, RefusesWhatItCannotUseWithAOneLineReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--system", "5", "a", "b"}, "--system takes 1, 2, 3 or 4"},
      {{"--system", "1x", "a", "b"}, "--system takes"},
      {{"--threads", "0", "a", "b"}, "--threads takes a number from 1 to 8"},
      {{"--threads", "9", "a", "b"}, "--threads takes"},
      {{"--frames", "9-3", "a", "b"}, "comes before the first"},
      {{"--frames", "-3", "a", "b"}, "--frames takes"},
      {{"--frames", "a-b", "a", "b"}, "--frames takes"},
      {{"--frames", "0-9223372036854775808", "a", "b"}, "frame numbers go no higher than"},
      {{"--format", "bmp", "a", "b"}, "--format takes yuy2, y4m or png"},
      {{"--quiet=yes", "a", "b"}, "takes no value"},
      {{"--system"}, "--system needs a value"},
      {{"--colour", "a", "b"}, "unknown option --colour"},
      {{"only-input"}, "needs INPUT and OUTPUT"},
      {{"a", "b", "c"}, "too many arguments"},
  };
  for (const auto& [arguments, expected] : cases) {
    const std::string error = ErrorOf(arguments);
    EXPECT_THAT(error, HasSubstr(expected)) << arguments[0];
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(ChooseOutputFormat, FollowsTheNameUnlessFormatIsGiven) {
  auto formatOf = [](std::vector<std::string> arguments) {
    return ChooseOutputFormat(ParseArguments(arguments));
  };
  EXPECT_EQ(formatOf({"a", "clip.yuy2"}), OutputFormat::Yuy2);
  EXPECT_EQ(formatOf({"a", "CLIP.Y4M"}), OutputFormat::Y4m);
  EXPECT_EQ(formatOf({"a", "f%03d.png"}), OutputFormat::Png);
  EXPECT_EQ(formatOf({"a", "-"}), OutputFormat::Y4m);
  EXPECT_EQ(formatOf({"--format", "yuy2", "a", "-"}), OutputFormat::Yuy2);
  EXPECT_EQ(formatOf({"--format", "y4m", "a", "clip.raw"}), OutputFormat::Y4m);
  EXPECT_THROW(formatOf({"a", "clip.raw"}), ToolError);
}

}  // namespace
}  // namespace halvaris::decode_tool
