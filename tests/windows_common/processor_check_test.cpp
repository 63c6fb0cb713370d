// The processor check that the filter's warning and the installer's VerifyCPU share.

#include <gtest/gtest.h>

#include "processor_check.h"

namespace halvaris::win32 {
namespace {

TEST(ProcessorCheckTest, NeedsMmxSseAndSse2Together) {
  constexpr std::uint32_t mmx = 1u << 23, sse = 1u << 25, sse2 = 1u << 26;
  constexpr std::uint32_t all = mmx | sse | sse2;
  EXPECT_TRUE(HasRequiredProcessorFeatures(all));
  EXPECT_TRUE(HasRequiredProcessorFeatures(0xFFFFFFFFu));
  EXPECT_FALSE(HasRequiredProcessorFeatures(all & ~mmx));
  EXPECT_FALSE(HasRequiredProcessorFeatures(all & ~sse));
  EXPECT_FALSE(HasRequiredProcessorFeatures(all & ~sse2));
  EXPECT_FALSE(HasRequiredProcessorFeatures(mmx | sse));
  EXPECT_FALSE(HasRequiredProcessorFeatures(sse | sse2));
  EXPECT_FALSE(HasRequiredProcessorFeatures(~sse2));
  EXPECT_FALSE(HasRequiredProcessorFeatures(0));
}

TEST(ProcessorCheckTest, EveryProcessorOf64BitWindowsPasses) {
  EXPECT_TRUE(HasRequiredProcessorFeatures(CpuidLeaf1Edx()));
  EXPECT_TRUE(ProcessorHasRequiredFeatures());
}

}  // namespace
}  // namespace halvaris::win32
