// Finishing the product's install: the Control Panel question and the start of the program
// through the real shell.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "install_actions.h"
#include "test_support.h"

namespace halvaris::install::test {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;
using ::testing::StartsWith;

constexpr char controlPanelQuestion[] = "Would you like to start the Control Panel program?";

std::string FailedToRun(const std::string& programPath) {
  return "Failed to run " + programPath + ", you can start it from the Windows Start Menu";
}

TEST(CompleteHalvarisInstall, AnsweringYesStartsTheControlPanelProgram) {
  ScratchFolder installFolder;
  TestControlPanel controlPanel(installFolder.path());
  ScriptedUser user({true});

  EXPECT_EQ(CompleteHalvarisInstall(installFolder.path().c_str()), 0);

  EXPECT_TRUE(controlPanel.WasStarted());
  ASSERT_THAT(user.shownTexts(), ElementsAre(controlPanelQuestion));
  EXPECT_EQ(user.shown()[0].caption, "Halvaris");
}

TEST(CompleteHalvarisInstall, MissingProgramIsReportedWithItsFullPath) {
  ScratchFolder installFolder;
  ScriptedUser user({true});

  EXPECT_EQ(CompleteHalvarisInstall(installFolder.path().c_str()), 0);

  ASSERT_THAT(user.shownTexts(),
              ElementsAre(controlPanelQuestion, FailedToRun(installFolder / "ControlPanel.exe")));
  EXPECT_EQ(user.shown()[1].caption, "Halvaris");
  EXPECT_EQ(user.shown()[1].type & MB_TYPEMASK, static_cast<unsigned>(MB_OK));
}

// The program's path has room for MAX_PATH characters and the message for 256: a longer path is
// a program that cannot be started, and the message is cut, not overrun.
TEST(CompleteHalvarisInstall, PathLongerThanTheShellTakesIsAFailureToRun) {
  ScratchFolder scratch;
  for (const std::size_t length : {std::size_t{300}, std::size_t{5000}}) {
    const std::string installFolder = scratch / std::string(length, 'L');
    ScriptedUser user({true});

    EXPECT_EQ(CompleteHalvarisInstall(installFolder.c_str()), 0);

    ASSERT_THAT(user.shown(), SizeIs(2));
    EXPECT_THAT(user.shown()[1].text, StartsWith("Failed to run " + scratch.path() + "\\LLL"));
    EXPECT_THAT(user.shown()[1].text, SizeIs(255));
  }
}

}  // namespace
}  // namespace halvaris::install::test
