#pragma once

// The checks the setup and its uninstaller make before they change anything, and the clean-up of
// deletions an earlier uninstall left for the next restart. Wide strings throughout: install
// folders may hold any character. Each result that is text goes to a caller's buffer of
// `size` characters, always terminated.

#include <string>

namespace halvaris::setup {

// The folder given on `commandLine` after `marker` ("/D=", "_?="): either unquoted after a space,
// running to the end of the line as NSIS reads it, or quoted with the marker inside the quotes
// ("/D=C:\Video Tools"), as deployment tools and PowerShell pass it. Empty when neither is there.
std::wstring RequestedFolder(const std::wstring& commandLine, const std::wstring& marker);

// Why `folder` cannot hold the install, in a sentence; empty when it can.
std::wstring UnusableFolderReason(const std::wstring& folder);

// "NAME: what Windows says" for the first file directly in `folder` that cannot be opened for
// writing and deleting (a running program, a module a player has loaded); empty when none.
std::wstring FileThatCannotBeRemoved(const std::wstring& folder);

// What Windows says when `path` is opened for writing as the setup writes its files, and its
// error code in `error`; empty, with `error` 0, when it can be written. Tried before each file is
// written: NSIS skips a file it cannot overwrite without telling.
std::wstring WhyFileCannotBeWritten(const std::wstring& path, unsigned long& error);

// Removes the deletions that an uninstall queued for the next restart (PendingFileRenameOperations)
// for `folder` and everything in it. The number removed, or -1 when the list could not be changed.
int ForgetPendingDeletions(const std::wstring& folder);

// Windows's own text for `error`, without the line break it ends with.
std::wstring WindowsErrorText(unsigned long error);

}  // namespace halvaris::setup
