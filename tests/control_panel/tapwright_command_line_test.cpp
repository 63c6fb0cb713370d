// The command line the Control Panel starts Tapwright with gives Tapwright back exactly the
// path the user picked, however it ends.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tapwright_launcher.h"

namespace {

// Splits a command line by the rules the C runtime parses a program's arguments with.
std::vector<std::wstring> Arguments(const std::wstring& commandLine) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
  std::vector<std::wstring> result(arguments, arguments + count);
  LocalFree(arguments);
  return result;
}

TEST(TapwrightCommandLine, GivesTheProgramExactlyThePickedPath) {
  const std::wstring program = L"C:\\Program Files\\Halvaris\\Tapwright.exe";
  // A drive's root and folders with spaces end in separators, which must not escape the quote.
  for (const std::wstring target :
       {L"C:\\Movies\\clip.mov", L"D:\\My Movies\\take 1.mov", L"C:\\", L"E:\\Shoot day\\",
        L"\\\\server\\share\\reel\\", L"C:\\a\\\\"}) {
    const std::vector<std::wstring> arguments =
        Arguments(halvaris::control_panel::TapwrightCommandLine(program, target));
    ASSERT_EQ(arguments.size(), 2u) << target;
    EXPECT_EQ(arguments[0], program);
    EXPECT_EQ(arguments[1], target);
  }
}

}  // namespace
