#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "control_panel_mark.h"
#include "message_box.h"

namespace halvaris::install::test {
namespace {

ScriptedUser* activeUser = nullptr;

}  // namespace

ScriptedUser::ScriptedUser(std::vector<bool> yesAnswers) : yesAnswers_(std::move(yesAnswers)) {
  activeUser = this;
  SetMessageBoxHandler(&ScriptedUser::Answer);
}

ScriptedUser::~ScriptedUser() {
  SetMessageBoxHandler(nullptr);
  activeUser = nullptr;
  EXPECT_EQ(nextAnswer_, yesAnswers_.size()) << "some scripted answers were never asked for";
}

std::vector<std::string> ScriptedUser::shownTexts() const {
  std::vector<std::string> texts;
  for (const ShownMessage& message : shown_) texts.push_back(message.text);
  return texts;
}

int ScriptedUser::Answer(const char* text, const char* caption, unsigned int type) {
  ScriptedUser& user = *activeUser;
  user.shown_.push_back({text, caption, type});
  if ((type & MB_TYPEMASK) != MB_YESNO) return IDOK;
  if (user.nextAnswer_ >= user.yesAnswers_.size()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return IDNO;
  }
  return user.yesAnswers_[user.nextAnswer_++] ? IDYES : IDNO;
}

ScratchFolder::ScratchFolder() {
  static int count = 0;
  char temporary[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temporary);
  path_ = std::string(temporary) + "halvaris-install-test-" +
          std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedMachineValue::ScopedMachineValue(std::string keyPath, std::string valueName,
                                       const std::string& data, REGSAM view)
    : keyPath_(std::move(keyPath)), valueName_(std::move(valueName)), view_(view) {
  win32::RegistryKey key;
  const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, nullptr, 0,
                                       KEY_SET_VALUE | view_, nullptr, key.Put(), nullptr);
  if (created != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot create " << keyPath_ << ": " << created;
    return;
  }
  const LONG set = RegSetValueExA(key.Get(), valueName_.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(data.c_str()),
                                  static_cast<DWORD>(data.size() + 1));
  EXPECT_EQ(set, ERROR_SUCCESS) << "cannot set " << valueName_;
}

ScopedMachineValue::~ScopedMachineValue() {
  RemoveMachineValue(keyPath_, valueName_, view_);
}

void RemoveMachineValue(const std::string& keyPath, const std::string& valueName, REGSAM view) {
  win32::RegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE | view, key.Put()) !=
      ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueA(key.Get(), valueName.c_str());
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  ASSERT_TRUE(file.good()) << "cannot write " << path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string TestProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of('\\'));
}

std::string TestFilesFolder() {
  return TestProgramFolder() + "\\install_actions_test_files";
}

}  // namespace halvaris::install::test

namespace halvaris::install::test {

TestControlPanel::TestControlPanel(const std::string& installFolder)
    : installFolder_(installFolder),
      started_(CreateEventA(nullptr, TRUE, FALSE,
                            ControlPanelStartedEventName(installFolder_).c_str())) {
  EXPECT_TRUE(started_);
  EXPECT_TRUE(CopyFileA((TestFilesFolder() + "\\ControlPanel.exe").c_str(),
                        (installFolder_ + "\\ControlPanel.exe").c_str(), FALSE))
      << "the test Control Panel program is missing";
}

TestControlPanel::~TestControlPanel() = default;

bool TestControlPanel::WasStarted() {
  if (WaitForSingleObject(started_.Get(), 60000) != WAIT_OBJECT_0) return false;
  return FileExists(installFolder_ + "\\" + controlPanelMarkName);
}

}  // namespace halvaris::install::test
