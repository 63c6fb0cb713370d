// The QuickTime component actions against the prefix's real registry, files and shell, with the
// user's answers scripted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "control_panel_mark.h"
#include "install_actions.h"
#include "test_support.h"

namespace halvaris::install::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char quickTimeKey[] = "SOFTWARE\\Apple Computer, Inc.\\QuickTime\\";
constexpr char componentsFolderValue[] = "QTComponentsDir";

constexpr char removeQuestion[] =
    "Halvaris files in use, could not remove them. Close all QuickTime programs. Abort install?";
constexpr char copyQuestion[] =
    "Halvaris files in use, could not copy over them. Close all QuickTime programs before running "
    "this installer. Abort install?";
constexpr char controlPanelQuestion[] = "Would you like to start the Control Panel?";

// An installation folder with its "qtfiles" components, and a QuickTime components folder
// registered for the test.
class CodecInstallTest : public ::testing::Test {
 protected:
  CodecInstallTest() {
    CreateDirectoryA(installFolder().c_str(), nullptr);
    CreateDirectoryA((installFolder() + "\\qtfiles").c_str(), nullptr);
    WriteFileText(installFolder() + "\\qtfiles\\halvarisQuicktime15.qtx", "new component A");
    WriteFileText(installFolder() + "\\qtfiles\\halvarisQuicktime16.qtx", "new component B");
    CreateDirectoryA(componentsFolder().c_str(), nullptr);
  }

  std::string installFolder() const { return scratch_ / "Product"; }
  std::string componentsFolder() const { return scratch_ / "Components"; }
  std::string component(const std::string& name) const { return componentsFolder() + "\\" + name; }

  // QuickTime is a 32-bit program: on 64-bit Windows its value lives in the 32-bit view only.
  void RegisterComponentsFolder(const std::string& value) {
    registered_.emplace(quickTimeKey, componentsFolderValue, value, KEY_WOW64_32KEY);
  }

  // A component that QuickTime has loaded: Windows refuses to delete a mapped module with
  // ERROR_ACCESS_DENIED, and Wine does the same, so the in-use case is real, not simulated.
  void PlaceLoadedComponent(const std::string& name) {
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "\\TorvekInstallHelper.dll").c_str(),
                          component(name).c_str(), FALSE));
    lockedModule_.emplace(LoadLibraryA(component(name).c_str()));
    ASSERT_TRUE(*lockedModule_);
  }

  bool NewComponentsCopied() const {
    return ReadFileBytes(component("halvarisQuicktime15.qtx")) == "new component A" &&
           ReadFileBytes(component("halvarisQuicktime16.qtx")) == "new component B";
  }

  ScratchFolder scratch_;
  std::optional<ScopedMachineValue> registered_;
  std::optional<win32::LoadedModule> lockedModule_;
};

TEST_F(CodecInstallTest, WithoutAUsableComponentsFolderNothingIsTouchedOrAsked) {
  RemoveMachineValue(quickTimeKey, componentsFolderValue, KEY_WOW64_32KEY);
  RemoveMachineValue(quickTimeKey, componentsFolderValue, KEY_WOW64_64KEY);
  WriteFileText(component("halvarisQuicktime11.qtx"), "old");
  WriteFileText(component("halvarisQuicktime1.qtx"), "old");
  // No value; an empty one, which would aim at the current folder; one of 256 characters, which
  // with its terminator is one byte more than the 256-byte buffer.
  std::string tooLong = componentsFolder() + "\\";
  tooLong.resize(256, 'C');
  const std::optional<std::string> values[] = {std::nullopt, "", tooLong};
  for (const std::optional<std::string>& value : values) {
    if (value) RegisterComponentsFolder(*value);
    ScriptedUser user;
    EXPECT_EQ(CompleteCodecInstall(7, installFolder().c_str()), 1);
    EXPECT_EQ(CompleteCodecUnInstall(), 1);
    EXPECT_THAT(user.shownTexts(), IsEmpty());
  }
  EXPECT_TRUE(FileExists(component("halvarisQuicktime11.qtx")));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime1.qtx")));
  EXPECT_FALSE(NewComponentsCopied());
}

// Two of the four older components there, two never installed: neither kind is a question.
TEST_F(CodecInstallTest, InstallReplacesOldComponentsWithoutAskingThenOffersControlPanel) {
  RegisterComponentsFolder(componentsFolder() + "\\");
  WriteFileText(component("halvarisQuicktime11.qtx"), "old");
  WriteFileText(component("halvarisQuicktime13.qtx"), "old");
  WriteFileText(component("halvarisQuicktime15.qtx"), "stale copy");
  WriteFileText(component("halvarisQuicktime1.qtx"), "kept: not an install-time name");
  ScriptedUser user({false});

  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 1);

  ASSERT_THAT(user.shownTexts(), ElementsAre(controlPanelQuestion));
  EXPECT_EQ(user.shown()[0].caption, "Halvaris");
  EXPECT_EQ(user.shown()[0].type & MB_TYPEMASK, static_cast<unsigned>(MB_YESNO));
  EXPECT_FALSE(FileExists(component("halvarisQuicktime11.qtx")));
  EXPECT_FALSE(FileExists(component("halvarisQuicktime13.qtx")));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime1.qtx")));
  EXPECT_TRUE(NewComponentsCopied());
  EXPECT_FALSE(FileExists(installFolder() + "\\" + controlPanelMarkName));
}

// A 64-bit module that reads its own registry view finds no QuickTime on 64-bit Windows and
// reports success having done nothing. The value in the 64-bit view here names another folder,
// which must stay untouched.
TEST_F(CodecInstallTest, ComponentsFolderIsReadFromThe32BitRegistryView) {
  RegisterComponentsFolder(componentsFolder() + "\\");
  const std::string otherFolder = scratch_ / "Other";
  CreateDirectoryA(otherFolder.c_str(), nullptr);
  ScopedMachineValue nativeView(quickTimeKey, componentsFolderValue, otherFolder + "\\",
                                KEY_WOW64_64KEY);
  WriteFileText(component("halvarisQuicktime11.qtx"), "old");
  WriteFileText(otherFolder + "\\halvarisQuicktime11.qtx", "not QuickTime's");
  ScriptedUser user({false});

  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 1);
  EXPECT_TRUE(NewComponentsCopied());
  EXPECT_FALSE(FileExists(component("halvarisQuicktime11.qtx")));
  EXPECT_FALSE(FileExists(otherFolder + "\\halvarisQuicktime15.qtx"));

  WriteFileText(component("halvarisQuicktime2.qtx"), "installed");
  WriteFileText(otherFolder + "\\halvarisQuicktime2.qtx", "not QuickTime's");
  EXPECT_EQ(CompleteCodecUnInstall(), 1);
  EXPECT_FALSE(FileExists(component("halvarisQuicktime2.qtx")));
  EXPECT_TRUE(FileExists(otherFolder + "\\halvarisQuicktime2.qtx"));
  EXPECT_TRUE(FileExists(otherFolder + "\\halvarisQuicktime11.qtx"));
}

TEST_F(CodecInstallTest, FolderValueWithoutSeparatorIsUsedAsABarePrefix) {
  // The value names "...\Components"; the old component to remove is then
  // "...\ComponentshalvarisQuicktime12.qtx", next to the folder rather than in it.
  RegisterComponentsFolder(componentsFolder());
  const std::string besideFolder = componentsFolder() + "halvarisQuicktime12.qtx";
  WriteFileText(besideFolder, "old");
  WriteFileText(component("halvarisQuicktime12.qtx"), "old");
  ScriptedUser user({false});

  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 1);
  EXPECT_FALSE(FileExists(besideFolder));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime12.qtx")));

  WriteFileText(componentsFolder() + "halvarisQuicktime3.qtx", "old");
  EXPECT_EQ(CompleteCodecUnInstall(), 1);
  EXPECT_FALSE(FileExists(componentsFolder() + "halvarisQuicktime3.qtx"));
}

TEST_F(CodecInstallTest, ComponentInUseAnsweredNoGoesOnWithTheRestAndTheCopy) {
  RegisterComponentsFolder(componentsFolder() + "\\");
  WriteFileText(component("halvarisQuicktime11.qtx"), "old");
  PlaceLoadedComponent("halvarisQuicktime12.qtx");
  WriteFileText(component("halvarisQuicktime14.qtx"), "old");
  ScriptedUser user({false, false});

  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 1);

  EXPECT_THAT(user.shownTexts(), ElementsAre(removeQuestion, controlPanelQuestion));
  EXPECT_FALSE(FileExists(component("halvarisQuicktime11.qtx")));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime12.qtx")));
  EXPECT_FALSE(FileExists(component("halvarisQuicktime14.qtx")));
  EXPECT_TRUE(NewComponentsCopied());
}

TEST_F(CodecInstallTest, ComponentInUseAnsweredYesAbortsAtOnce) {
  RegisterComponentsFolder(componentsFolder() + "\\");
  PlaceLoadedComponent("halvarisQuicktime12.qtx");
  WriteFileText(component("halvarisQuicktime13.qtx"), "old");
  ScriptedUser user({true});

  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 0);

  EXPECT_THAT(user.shownTexts(), ElementsAre(removeQuestion));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime13.qtx")));
  EXPECT_FALSE(NewComponentsCopied());
}

// Wine's SHFileOperationA reports success for a missing source, a locked file or an unknown
// drive, but it does fail for real when the destination is an existing file rather than a
// folder: that is the failing copy here, no seam involved.
class FailingCopyTest : public CodecInstallTest {
 protected:
  FailingCopyTest() {
    WriteFileText(notAFolder(), "a file where the components folder should be");
    RegisterComponentsFolder(notAFolder());
  }
  std::string notAFolder() const { return scratch_ / "NotAFolder"; }
};

TEST_F(FailingCopyTest, AnsweredNoStillOffersTheControlPanel) {
  ScriptedUser user({false, false});
  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 1);
  EXPECT_THAT(user.shownTexts(), ElementsAre(copyQuestion, controlPanelQuestion));
}

TEST_F(FailingCopyTest, AnsweredYesAborts) {
  ScriptedUser user({true});
  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 0);
  EXPECT_THAT(user.shownTexts(), ElementsAre(copyQuestion));
}

TEST_F(CodecInstallTest, UninstallRemovesWhatIsThereAndOnlyItsOwnNames) {
  RegisterComponentsFolder(componentsFolder() + "\\");
  for (const char* name :
       {"halvarisQuicktime1.qtx", "halvarisQuicktime4.qtx", "halvarisQuicktime8.qtx",
        "halvarisQuicktime11.qtx", "halvarisQuicktime5.qtx"}) {
    WriteFileText(component(name), "installed");
  }
  PlaceLoadedComponent("halvarisQuicktime3.qtx");
  ScriptedUser user;

  EXPECT_EQ(CompleteCodecUnInstall(), 1);

  EXPECT_THAT(user.shownTexts(), IsEmpty());
  EXPECT_FALSE(FileExists(component("halvarisQuicktime1.qtx")));
  EXPECT_FALSE(FileExists(component("halvarisQuicktime4.qtx")));
  EXPECT_FALSE(FileExists(component("halvarisQuicktime8.qtx")));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime3.qtx")));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime11.qtx")));
  EXPECT_TRUE(FileExists(component("halvarisQuicktime5.qtx")));
}

TEST_F(CodecInstallTest, AnsweringYesStartsTheControlPanelProgram) {
  RegisterComponentsFolder(componentsFolder() + "\\");
  TestControlPanel controlPanel(installFolder());
  ScriptedUser user({true});

  EXPECT_EQ(CompleteCodecInstall(0, installFolder().c_str()), 1);

  EXPECT_TRUE(controlPanel.WasStarted());
  EXPECT_THAT(user.shownTexts(), ElementsAre(controlPanelQuestion));
}

}  // namespace
}  // namespace halvaris::install::test
