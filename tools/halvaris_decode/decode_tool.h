#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace halvaris::decode_tool {

// Runs halvaris-decode with `arguments` (without the program name). Progress, warnings and errors
// go to `messages`; the usage text of --help to standard output. Returns the exit code: 0 when
// every selected frame was decoded and the output completed, 1 otherwise (after one error line).
int RunDecodeTool(const std::vector<std::string>& arguments, std::FILE* messages);

// Makes Ctrl+C, SIGTERM and SIGHUP end the run at once, leaving a single output file as it was
// before the run and of a picture sequence the pictures written completely; the last line goes
// to `messages`.
void StopCleanlyOnInterrupt(std::FILE* messages);

}  // namespace halvaris::decode_tool
