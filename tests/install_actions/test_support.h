// Helpers shared by the installer action tests: a user who answers message boxes from a script,
// scratch folders, registry values that are put back, and the files the build places beside
// the tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win32_owners.h"

namespace halvaris::install::test {

struct ShownMessage {
  std::string text;
  std::string caption;
  unsigned int type;
};

// Answers Yes/No questions from a script, in order, and records everything shown. An OK message
// is answered without using the script; a question beyond the script fails the test.
class ScriptedUser {
 public:
  explicit ScriptedUser(std::vector<bool> yesAnswers = {});
  ~ScriptedUser();
  ScriptedUser(const ScriptedUser&) = delete;
  ScriptedUser& operator=(const ScriptedUser&) = delete;

  const std::vector<ShownMessage>& shown() const { return shown_; }
  std::vector<std::string> shownTexts() const;

 private:
  static int Answer(const char* text, const char* caption, unsigned int type);

  std::vector<bool> yesAnswers_;
  std::size_t nextAnswer_ = 0;
  std::vector<ShownMessage> shown_;
};

// A fresh folder under the prefix's temporary folder, removed with everything in it. path()
// ends without a separator.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Sets a string value under HKEY_LOCAL_MACHINE for the life of the object, then deletes the
// value again; the action code reads it through the real registry. `view` chooses the registry
// view (KEY_WOW64_32KEY, KEY_WOW64_64KEY; 0: the test program's own, the 64-bit one).
class ScopedMachineValue {
 public:
  ScopedMachineValue(std::string keyPath, std::string valueName, const std::string& data,
                     REGSAM view = 0);
  ~ScopedMachineValue();
  ScopedMachineValue(const ScopedMachineValue&) = delete;
  ScopedMachineValue& operator=(const ScopedMachineValue&) = delete;

 private:
  std::string keyPath_;
  std::string valueName_;
  REGSAM view_;
};

// Deletes a value under HKEY_LOCAL_MACHINE if it is there, so a test starts without it.
void RemoveMachineValue(const std::string& keyPath, const std::string& valueName, REGSAM view = 0);

bool FileExists(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);
// The exact bytes of a file, or "<missing>".
std::string ReadFileBytes(const std::string& path);

// The folder of the running test program, where the build also puts the DLL, and the folder of
// the files that the build makes for these tests (ControlPanel.exe, the editor packages).
std::string TestProgramFolder();
std::string TestFilesFolder();

}  // namespace halvaris::install::test

namespace halvaris::install::test {

// The test Control Panel program, copied into an install folder, and the way to learn that the
// action started it.
class TestControlPanel {
 public:
  explicit TestControlPanel(const std::string& installFolder);
  ~TestControlPanel();
  TestControlPanel(const TestControlPanel&) = delete;
  TestControlPanel& operator=(const TestControlPanel&) = delete;

  // Waits for the program's signal (bounded only so that a broken run cannot hang), then checks
  // the mark it leaves.
  bool WasStarted();

 private:
  std::string installFolder_;
  win32::UniqueHandle started_;
};

}  // namespace halvaris::install::test
