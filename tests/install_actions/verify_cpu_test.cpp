// The module's exports and the processor check, as the installer sees them.
#include <gtest/gtest.h>

#include "install_actions.h"
#include "test_support.h"

namespace halvaris::install::test {
namespace {

// What the installer does: load the DLL and look the actions up by their plain names.
TEST(TorvekInstallHelperModule, ExportsTheSixActionsUnderTheirPlainNames) {
  const win32::LoadedModule module(
      LoadLibraryA((TestProgramFolder() + "\\TorvekInstallHelper.dll").c_str()));
  ASSERT_TRUE(module);
  for (const char* name :
       {"CompleteCodecInstall", "CompleteCodecUnInstall", "RegisterHalvarisVegas90",
        "CompleteHalvarisInstall", "CompleteHalvarisUninstall", "VerifyCPU"}) {
    EXPECT_NE(GetProcAddress(module.Get(), name), nullptr) << name;
  }
  // Every processor that runs 64-bit Windows has all three.
  const auto verify = module.Export<std::int32_t(__cdecl*)()>("VerifyCPU");
  ASSERT_NE(verify, nullptr);
  EXPECT_EQ(verify(), 1);
  EXPECT_EQ(verify(), 1);
}

}  // namespace
}  // namespace halvaris::install::test
