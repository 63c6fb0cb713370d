// Splitting a path the way the C runtime's _splitpath does, for the one part the actions need.
#pragma once

#include <string>

namespace halvaris::install {

// The drive and directory parts of path, joined: everything up to and including the last '\' or
// '/', or just the drive ("C:") when there is no separator after it, or "" when there is neither.
std::string FolderPart(const std::string& path);

}  // namespace halvaris::install
