#pragma once

#include <stdexcept>
#include <string>

namespace halvaris::decode_tool {

// Anything that stops the program: the message is the one line the user sees.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace halvaris::decode_tool
