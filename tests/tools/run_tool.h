#pragma once

// halvaris-decode run in this process, with what it says captured.

#include <cstdio>
#include <string>
#include <vector>

#include "decode_tool.h"

namespace halvaris::test_support {

struct Outcome {
  int exitCode;
  std::string messages;
};

inline Outcome RunTool(const std::vector<std::string>& arguments) {
  std::FILE* messages = std::tmpfile();
  Outcome outcome{decode_tool::RunDecodeTool(arguments, messages), ""};
  std::rewind(messages);
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, messages)) > 0) {
    outcome.messages.append(buffer, got);
  }
  std::fclose(messages);
  return outcome;
}

}  // namespace halvaris::test_support
