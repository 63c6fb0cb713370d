#include <windows.h>

#include <stdexcept>

#include "program_runner.h"

namespace halvaris::aperture::testing {
namespace {

class Handle {
 public:
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  HANDLE* Receive() { return &handle_; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// The build names the program by its Linux path when the tests run under Wine.
std::string ProgramPath() {
  std::string path = TAPWRIGHT_PROGRAM;
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return path;
}

std::string Quoted(const std::string& argument) {
  return "\"" + argument + "\"";
}

}  // namespace

ProgramRun RunTapwrightProgram(const std::vector<std::string>& arguments,
                               const std::string& input) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle inputRead, inputWrite, outputRead, outputWrite;
  if (!CreatePipe(inputRead.Receive(), inputWrite.Receive(), &inheritable, 0) ||
      !CreatePipe(outputRead.Receive(), outputWrite.Receive(), &inheritable, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  SetHandleInformation(inputWrite.Get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(outputRead.Get(), HANDLE_FLAG_INHERIT, 0);

  std::string commandLine = Quoted(ProgramPath());
  for (const std::string& argument : arguments) commandLine += " " + Quoted(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inputRead.Get();
  startup.hStdOutput = outputWrite.Get();
  startup.hStdError = outputWrite.Get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    throw std::runtime_error("cannot start " + commandLine);
  }
  Handle processHandle, threadHandle;
  *processHandle.Receive() = process.hProcess;
  *threadHandle.Receive() = process.hThread;
  inputRead.Close();
  outputWrite.Close();

  DWORD written = 0;
  WriteFile(inputWrite.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  inputWrite.Close();

  std::string raw;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(outputRead.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    raw.append(buffer, got);
  }
  WaitForSingleObject(processHandle.Get(), INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(processHandle.Get(), &exitCode);

  // The console runtime writes "\r\n" for each line end.
  ProgramRun run;
  run.exitCode = static_cast<int>(exitCode);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    run.output += raw[i];
  }
  return run;
}

ProgramRun RunTapwrightProgramUnprivileged(const std::vector<std::string>& arguments,
                                           const std::string& input) {
  return RunTapwrightProgram(arguments, input);
}

}  // namespace halvaris::aperture::testing
