#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// What the console driver needs from the operating system; one implementation per platform.
namespace halvaris::aperture {

// Placed between a dropped folder and the names of its entries.
extern const char kPathSeparator;

// True for a folder, and also for a path whose attributes cannot be read (a path that does not
// exist is then taken for a folder that cannot be listed).
bool IsFolder(const std::string& path);

// Lists every entry of a folder, "." and ".." included, into `fileNames` in listing order.
// Returns the number of entries listed, or 0 when the folder cannot be listed to its end.
std::size_t getfile(const std::string& folderPath, std::vector<std::string>& fileNames,
                    std::ostream& console);

// Renames `from` to `to` with the platform's own call, never through the command interpreter,
// and never over an existing file. On failure returns false and describes why in `reason`.
bool RenameFile(const std::string& from, const std::string& to, std::string& reason);

}  // namespace halvaris::aperture
