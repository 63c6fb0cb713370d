#pragma once

#include <stdexcept>
#include <string>

namespace halvaris::media {

// An input that cannot be read as asked: the message says what is wrong and where, in one line.
class MediaError : public std::runtime_error {
 public:
  explicit MediaError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace halvaris::media
