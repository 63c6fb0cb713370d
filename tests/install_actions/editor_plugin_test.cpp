// Registering the plug-in with the editor, found through the prefix's real Windows Installer:
// the tests install stand-in packages with the editor's upgrade and component codes.
#include <windows.h>

#include <msi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "install_actions.h"
#include "test_support.h"

namespace halvaris::install::test {
namespace {

constexpr char upgradeCode64[] = "{9D9A2BDC-7D6B-4C55-B8D7-3F17C2243D43}";
constexpr char upgradeCode32[] = "{1DE4F5A5-CA5F-4A3E-819A-4D930C9EF443}";
constexpr char configFileName[] = "Torvek.fio2007-config";
constexpr char appPathKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vegas90.exe";

std::string ExpectedConfig(const std::string& entry) {
  return "[FileIO Plug-Ins]\r\nTorvekMxfPlug=" + entry + "\r\n";
}

// One edition of the editor installed into a chosen folder for the life of the object.
class InstalledEditor {
 public:
  InstalledEditor(const std::string& package, const char* upgradeCode, const std::string& folder)
      : folder_(folder) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    const std::string properties = "INSTALLDIR=\"" + folder + "\\\"";
    const UINT installed =
        MsiInstallProductA((TestFilesFolder() + "\\" + package).c_str(), properties.c_str());
    EXPECT_EQ(installed, static_cast<UINT>(ERROR_SUCCESS)) << package;
    EXPECT_EQ(MsiEnumRelatedProductsA(upgradeCode, 0, 0, productCode_),
              static_cast<UINT>(ERROR_SUCCESS));
  }
  ~InstalledEditor() {
    if (productCode_[0] != '\0') {
      MsiConfigureProductA(productCode_, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
    }
    DeleteFileA(configFile().c_str());
  }
  InstalledEditor(const InstalledEditor&) = delete;
  InstalledEditor& operator=(const InstalledEditor&) = delete;

  std::string configFile() const { return folder_ + "\\" + configFileName; }

 private:
  std::string folder_;
  char productCode_[40] = {};
};

class EditorPluginTest : public ::testing::Test {
 protected:
  std::string editorFolder(const std::string& name) const { return scratch_ / name; }
  ScratchFolder scratch_;
};

TEST_F(EditorPluginTest, SixtyFourBitEditionGetsItsEntryAndRerunsRewrite) {
  InstalledEditor editor("editor64.msi", upgradeCode64, editorFolder("Editor64"));

  EXPECT_EQ(RegisterHalvarisVegas90("C:\\Halvaris\\Plugins"), 0);
  EXPECT_EQ(ReadFileBytes(editor.configFile()),
            ExpectedConfig("C:\\Halvaris\\Plugins\\HalvarisVegas90-64.dll"));

  RegisterHalvarisVegas90("C:\\Halvaris\\Plugins");
  EXPECT_EQ(ReadFileBytes(editor.configFile()),
            ExpectedConfig("C:\\Halvaris\\Plugins\\HalvarisVegas90-64.dll"));

  // The folder is taken as given, separator and all.
  RegisterHalvarisVegas90("D:\\Other\\");
  EXPECT_EQ(ReadFileBytes(editor.configFile()),
            ExpectedConfig("D:\\Other\\\\HalvarisVegas90-64.dll"));
}

TEST_F(EditorPluginTest, BothEditionsGetTheirOwnFile) {
  InstalledEditor editor64("editor64.msi", upgradeCode64, editorFolder("Editor64"));
  InstalledEditor editor32("editor32.msi", upgradeCode32, editorFolder("Editor32"));

  EXPECT_EQ(RegisterHalvarisVegas90("C:\\Halvaris"), 0);

  EXPECT_EQ(ReadFileBytes(editor64.configFile()),
            ExpectedConfig("C:\\Halvaris\\HalvarisVegas90-64.dll"));
  EXPECT_EQ(ReadFileBytes(editor32.configFile()),
            ExpectedConfig("C:\\Halvaris\\HalvarisVegas90.dll"));
}

// Two editions sharing one folder show the order: the 32-bit edition is written last.
TEST_F(EditorPluginTest, SixtyFourBitEditionIsWrittenFirst) {
  InstalledEditor editor64("editor64.msi", upgradeCode64, editorFolder("Editor"));
  InstalledEditor editor32("editor32.msi", upgradeCode32, editorFolder("Editor"));

  RegisterHalvarisVegas90("C:\\Halvaris");

  EXPECT_EQ(ReadFileBytes(editor32.configFile()),
            ExpectedConfig("C:\\Halvaris\\HalvarisVegas90.dll"));
}

TEST_F(EditorPluginTest, WithoutAnEditionNothingIsWritten) {
  { InstalledEditor removedLater("editor64.msi", upgradeCode64, editorFolder("Editor64")); }
  CreateDirectoryA(editorFolder("Editor64").c_str(), nullptr);

  EXPECT_EQ(RegisterHalvarisVegas90("C:\\Halvaris"), 0);

  EXPECT_FALSE(FileExists(editorFolder("Editor64") + "\\" + configFileName));
}

// Windows Installer cuts a path that does not fit the 260-character buffer; the cut path names
// some other folder, here the scratch folder, which must not receive a file.
TEST_F(EditorPluginTest, ComponentPathLongerThanTheBufferWritesNothing) {
  const std::string longFolder = editorFolder(std::string(240, 'E'));
  InstalledEditor editor("editor64.msi", upgradeCode64, longFolder);
  // The ANSI file functions stop at MAX_PATH; the wide ones see the installed program.
  ASSERT_TRUE(std::filesystem::exists(longFolder + "\\vegas90.exe"));

  RegisterHalvarisVegas90("C:\\Halvaris");

  EXPECT_FALSE(std::filesystem::exists(editor.configFile()));
  EXPECT_FALSE(FileExists(scratch_ / configFileName));
}

class EditorUninstallTest : public EditorPluginTest {
 protected:
  EditorUninstallTest() {
    CreateDirectoryA(editorFolder("Editor").c_str(), nullptr);
    WriteFileText(editorFolder("Editor") + "\\" + configFileName, "registered");
    WriteFileText(editorFolder("Editor") + configFileName, "beside the folder");
  }
};

TEST_F(EditorUninstallTest, DeletesTheFileInTheRegisteredFolder) {
  ScopedMachineValue path(appPathKey, "Path", editorFolder("Editor") + "\\");
  EXPECT_EQ(CompleteHalvarisUninstall(), 0);
  EXPECT_FALSE(FileExists(editorFolder("Editor") + "\\" + configFileName));
  EXPECT_TRUE(FileExists(editorFolder("Editor") + configFileName));
}

TEST_F(EditorUninstallTest, FolderWithoutSeparatorIsUsedAsABarePrefix) {
  ScopedMachineValue path(appPathKey, "Path", editorFolder("Editor"));
  EXPECT_EQ(CompleteHalvarisUninstall(), 0);
  EXPECT_TRUE(FileExists(editorFolder("Editor") + "\\" + configFileName));
  EXPECT_FALSE(FileExists(editorFolder("Editor") + configFileName));
}

TEST_F(EditorUninstallTest, WithoutTheRegistrationNothingIsDeleted) {
  RemoveMachineValue(appPathKey, "Path");
  EXPECT_EQ(CompleteHalvarisUninstall(), 0);
  EXPECT_TRUE(FileExists(editorFolder("Editor") + "\\" + configFileName));
  EXPECT_TRUE(FileExists(editorFolder("Editor") + configFileName));
}

}  // namespace
}  // namespace halvaris::install::test
