#include "path_parts.h"

namespace halvaris::install {

std::string FolderPart(const std::string& path) {
  const std::size_t driveLength = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  const std::size_t lastSeparator = path.find_last_of("\\/");
  if (lastSeparator == std::string::npos || lastSeparator < driveLength) {
    return path.substr(0, driveLength);
  }
  return path.substr(0, lastSeparator + 1);
}

}  // namespace halvaris::install
