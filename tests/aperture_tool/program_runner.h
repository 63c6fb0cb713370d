#pragma once

#include <string>
#include <vector>

namespace halvaris::aperture::testing {

struct ProgramRun {
  int exitCode = -1;
  std::string output;  // standard output and error together, line ends as "\n"
};

// Runs the Tapwright program built beside the tests with `arguments`, feeds `input` on its
// standard input and collects what it prints.
ProgramRun RunTapwrightProgram(const std::vector<std::string>& arguments, const std::string& input);

// The same, but as a user without administrator rights where the platform makes a difference
// (on POSIX, root opens read-only files for writing regardless of their permissions).
ProgramRun RunTapwrightProgramUnprivileged(const std::vector<std::string>& arguments,
                                           const std::string& input);

}  // namespace halvaris::aperture::testing
