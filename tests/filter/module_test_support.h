#pragma once

// The built module and helper programs, as Windows paths, and running programs under Wine.

#include <string>

namespace halvaris::filter::testing {

std::string DecoderModulePath();
// Runs a command line, waits for it and returns its exit code (-1 if it could not start).
int RunProgram(const std::string& commandLine);
// regsvr32 on the module; `unregister` adds /u.
int RunRegsvr32(bool unregister = false);

}  // namespace halvaris::filter::testing
