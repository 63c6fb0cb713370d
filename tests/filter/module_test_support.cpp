#include "module_test_support.h"

#include <windows.h>

#include <vector>

#include "filter_test_support.h"
#include "win32_owners.h"

namespace halvaris::filter::testing {

std::string DecoderModulePath() {
  return WindowsPath(HALVARIS_DECODER_MODULE);
}

int RunProgram(const std::string& commandLine) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  win32::UniqueHandle processHandle(process.hProcess);
  win32::UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  return static_cast<int>(exitCode);
}

int RunRegsvr32(bool unregister) {
  return RunProgram(std::string("regsvr32.exe /s ") + (unregister ? "/u " : "") + "\"" +
                    DecoderModulePath() + "\"");
}

}  // namespace halvaris::filter::testing
