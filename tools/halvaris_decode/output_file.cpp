#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "interruption.h"
#include "tool_error.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace halvaris::decode_tool {

namespace {

namespace fs = std::filesystem;

// The file a path leads to through any chain of symbolic links (a dangling link: the file it
// would create).
std::string FollowLinks(const std::string& path) {
  fs::path current = path;
  for (int depth = 0; depth < 40; ++depth) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error))) break;
    const fs::path link = fs::read_symlink(current, error);
    if (error) break;
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  return current.string();
}

std::atomic<unsigned> temporaryCounter{0};

int ProcessId() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Creates a new file beside `target`, with the permissions `target` has if it exists.
std::FILE* CreateTemporaryBeside(const std::string& target, bool targetExists,
                                 std::string& temporary) {
  const fs::path targetPath(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + targetPath.filename().string() + ".halvaris-" +
                             std::to_string(ProcessId()) + "-" +
                             std::to_string(temporaryCounter.fetch_add(1));
    temporary = (targetPath.parent_path() / name).string();
    // Known before it exists, so that an interrupt at any moment from here on removes it.
    interruption::AddPendingFile(temporary);
#ifdef _WIN32
    const int descriptor =
        _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
    const int openError = errno;
    if (descriptor < 0) {
      interruption::RemovePendingFile(temporary);
      if (openError == EEXIST) continue;
      throw ToolError("cannot create a file beside " + target +
                      " (the output is written there and renamed into place when complete): " +
                      std::strerror(openError));
    }
#ifndef _WIN32
    struct stat old;
    if (targetExists && stat(target.c_str(), &old) == 0) {
      fchmod(descriptor, old.st_mode & 07777);
      if (fchown(descriptor, old.st_uid, old.st_gid) != 0) {
        // Only the owner's group or the superuser may give a file away; the file stays ours.
      }
    }
    std::FILE* file = fdopen(descriptor, "wb");
#else
    (void)targetExists;
    std::FILE* file = _fdopen(descriptor, "wb");
#endif
    if (file == nullptr) {
      const int error = errno;
      std::remove(temporary.c_str());
      interruption::RemovePendingFile(temporary);
      throw ToolError("cannot create a file beside " + target + ": " + std::strerror(error));
    }
    return file;
  }
  interruption::RemovePendingFile(temporary);
  throw ToolError("cannot create a file beside " + target + ": too many files of that name");
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool FlushToDisk(std::FILE* file) {
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0 || errno == EINVAL;  // EINVAL: a file system without syncing
#endif
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path == "-") {
    file_ = stdout;
    standardOutput_ = true;
    return;
  }
  target_ = FollowLinks(path);
  std::error_code error;
  const fs::file_status status = fs::status(target_, error);
  existed_ = fs::exists(status);
  if (existed_ && !fs::is_regular_file(status)) {
    // A device or a pipe is written as it is, and never removed.
    file_ = std::fopen(target_.c_str(), "wb");
    if (file_ == nullptr) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    return;
  }
#ifndef _WIN32
  // The rename would replace a file that may not be written; refuse as writing it would.
  if (existed_ && access(target_.c_str(), W_OK) != 0) {
    throw ToolError("cannot write " + path + ": " + std::strerror(errno));
  }
#endif
  file_ = CreateTemporaryBeside(target_, existed_, temporary_);
}

OutputFile::~OutputFile() {
  Discard();
}

void OutputFile::Discard() {
  if (file_ != nullptr && !standardOutput_) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    interruption::RemovePendingFile(temporary_);
    temporary_.clear();
  }
}

void OutputFile::Write(const void* data, std::size_t bytes) {
  if (file_ == nullptr) throw ToolError("cannot write " + path_ + ": already closed");
  if (std::fwrite(data, 1, bytes, file_) != bytes) {
    throw ToolError("cannot write " + (standardOutput_ ? std::string("standard output") : path_) +
                    ": " + std::strerror(errno));
  }
}

void OutputFile::Commit(const std::function<void()>& whilePlaced) {
  if (file_ == nullptr) return;
  if (standardOutput_) {
    file_ = nullptr;
    if (std::fflush(stdout) != 0) {
      throw ToolError(std::string("cannot write standard output: ") + std::strerror(errno));
    }
    if (whilePlaced) whilePlaced();
    return;
  }
  bool written = std::fflush(file_) == 0;
  int error = errno;
  if (written && !temporary_.empty() && !FlushToDisk(file_)) {
    written = false;
    error = errno;
  }
  const bool closed = std::fclose(file_) == 0;
  if (written && !closed) error = errno;
  file_ = nullptr;
  if (!written || !closed) {
    Discard();
    throw ToolError("cannot write " + path_ + ": " + std::strerror(error));
  }
  if (temporary_.empty()) {
    if (whilePlaced) whilePlaced();
    return;
  }
  bool placed = false;
  const bool notInterrupted = interruption::CommitUnlessInterrupted(temporary_, [&] {
    placed = ReplaceFile(temporary_, target_);
    error = errno;
    if (placed && whilePlaced) whilePlaced();
    return placed;
  });
  if (!notInterrupted) {
    Discard();
    throw ToolError(interruption::Report());
  }
  if (!placed) {
    Discard();
    throw ToolError("cannot put " + path_ + " in place: " + std::strerror(error));
  }
  temporary_.clear();
}

}  // namespace halvaris::decode_tool
