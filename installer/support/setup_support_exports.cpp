// The exports the setup and the uninstaller call through NSIS's System plug-in. Each returns a
// number and writes any text to the caller's buffer; nothing throws across the boundary.

#include <windows.h>

#include <algorithm>
#include <exception>
#include <string>

#include "setup_support.h"

namespace {

using namespace halvaris::setup;

// Copies `text` into the caller's buffer of `size` characters, shortened to fit.
void Answer(const std::wstring& text, wchar_t* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
  text.copy(buffer, length);
  buffer[length] = L'\0';
}

template <class Action>
int Guarded(Action action) {
  try {
    return action();
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace

extern "C" {

// 1 and the folder when the command line gives one after `marker`, 0 when it does not.
int RequestedFolderOnCommandLine(const wchar_t* commandLine, const wchar_t* marker, wchar_t* folder,
                                 int size) {
  return Guarded([&] {
    const std::wstring found = RequestedFolder(commandLine, marker);
    Answer(found, folder, size);
    return found.empty() ? 0 : 1;
  });
}

// 0 when `folder` can hold the install; 1 and the reason when it cannot.
int CheckInstallFolder(const wchar_t* folder, wchar_t* reason, int size) {
  return Guarded([&] {
    const std::wstring problem = UnusableFolderReason(folder);
    Answer(problem, reason, size);
    return problem.empty() ? 0 : 1;
  });
}

// 0 when every file in `folder` can be removed; 1 and "NAME: reason" for the first that cannot.
int FindFileInUse(const wchar_t* folder, wchar_t* problem, int size) {
  return Guarded([&] {
    const std::wstring found = FileThatCannotBeRemoved(folder);
    Answer(found, problem, size);
    return found.empty() ? 0 : 1;
  });
}

// 0 when `path` can be written; otherwise Windows's reason, and 1 when another program has the
// file open, 2 for any other failure.
int CheckFileWritable(const wchar_t* path, wchar_t* reason, int size) {
  return Guarded([&] {
    unsigned long error = ERROR_SUCCESS;
    Answer(WhyFileCannotBeWritten(path, error), reason, size);
    if (error == ERROR_SUCCESS) return 0;
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? 1 : 2;
  });
}

// The number of queued deletions removed for `folder`, or -1.
int ForgetPendingDeletionsIn(const wchar_t* folder) {
  return Guarded([&] { return ForgetPendingDeletions(folder); });
}

}  // extern "C"
