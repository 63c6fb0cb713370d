#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "progress.h"

namespace halvaris::decode_tool {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Printed(bool quiet, bool terminal, std::int64_t total, int frames) {
  std::FILE* stream = std::tmpfile();
  {
    Progress progress(stream, quiet, terminal, total);
    for (int i = 0; i < frames; ++i) progress.FrameDone();
    progress.Finish();
  }
  std::rewind(stream);
  std::string text;
  char buffer[1024];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
  std::fclose(stream);
  return text;
}

TEST(Progress, ATerminalSeesTheCountThenTheSummaryOnACleanLine) {
  const std::string text = Printed(false, true, 3, 3);
  EXPECT_THAT(text, HasSubstr("\rframe 1/3, "));
  EXPECT_THAT(text, HasSubstr("\rframe 3/3, "));  // the last frame is always shown
  EXPECT_THAT(text, HasSubstr(" left"));
  const std::size_t summary = text.find("halvaris-decode: 3 frames decoded in ");
  ASSERT_NE(summary, std::string::npos);
  EXPECT_EQ(text[summary - 1], '\r');  // the progress line was blanked first
}

TEST(Progress, ALogGetsOneSummaryLineAndQuietNothing) {
  const std::string text = Printed(false, false, -1, 2);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_THAT(text, HasSubstr("halvaris-decode: 2 frames decoded in "));
  EXPECT_THAT(text, Not(HasSubstr("\r")));
  EXPECT_EQ(Printed(true, true, 5, 5), "");
}

}  // namespace
}  // namespace halvaris::decode_tool
