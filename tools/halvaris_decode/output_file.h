#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace halvaris::decode_tool {

// One output file. A regular file, or a name not taken yet, is written to a temporary file in the
// same folder and renamed into place by Commit(), so that a failed or interrupted run leaves what
// was there exactly as it was: the old file, or no file. Through symbolic links the file they
// lead to is replaced and the links stay; the old file's permissions are kept. Standard output
// ("-"), pipes and devices are written directly.
class OutputFile {
 public:
  // Throws ToolError when the file cannot be created (or an existing one could not be written).
  explicit OutputFile(const std::string& path);
  // Without Commit() the temporary file is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws ToolError on a write error (a full disk, a closed pipe).
  void Write(const void* data, std::size_t bytes);

  // Flushes, closes and puts the file in place; `whilePlaced` runs as the rename happens, held
  // together with it against interrupts. Throws ToolError when that fails or the run has been
  // interrupted.
  void Commit(const std::function<void()>& whilePlaced = {});

  const std::string& Path() const { return path_; }
  // True when the file is written where it is (standard output, a pipe, a device).
  bool WrittenDirectly() const { return temporary_.empty(); }
  // True when a file of that name was there before (and is replaced by Commit()).
  bool Existed() const { return existed_; }

 private:
  void Discard();

  std::string path_;       // as given
  std::string target_;     // the file the path leads to, through symbolic links
  std::string temporary_;  // where a replaced file is written until Commit()
  std::FILE* file_ = nullptr;
  bool standardOutput_ = false;
  bool existed_ = false;
};

}  // namespace halvaris::decode_tool
