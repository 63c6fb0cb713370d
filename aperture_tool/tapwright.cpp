#include "tapwright.h"

#include <cstddef>
#include <string>
#include <vector>

#include "atom_walk.h"
#include "movie_file.h"
#include "platform.h"

namespace halvaris::aperture {
namespace {

// The program has always kept its paths in buffers of this size; a longer path is refused
// rather than cut short.
constexpr std::size_t kPathBufferSize = 4096;

constexpr char kProductNote[] =
    "To play back DVCPRO HD and DVCPRO50 QuickTime movies, install the Halvaris Decoder and\n"
    "use any DirectShow player; to author them, install the Halvaris QuickTime components and\n"
    "the Vegas 9.0 plug-in, then edit in Vegas 9.0 or in your QuickTime authoring software.\n"
    "Updates and help for every Torvek product: www.torvek.com\n\n";

void WaitForEnter(std::istream& input, std::ostream& console) {
  console.flush();
  std::string line;
  std::getline(input, line);
}

void PrintUsage(std::ostream& console) {
  console << "To use Tapwright, drag the application to your desktop, \n"
          << "then drag and drop a quicktime file or folder of files\n"
          << "into the application.\n\n"
          << kProductNote << "No file or folder dropped in.  Press any Enter to exit. ";
}

bool IsDotEntry(const std::string& name) {
  return name == "." || name == "..";
}

// One dropped file or folder entry: recognise, rewrite, give it the ".mov" suffix.
void ProcessItem(const std::string& path, std::ostream& console) {
  if (path.size() >= kPathBufferSize) {
    console << "-- path too long, not processed\n";
    return;
  }
  std::unique_ptr<MovieFile> forReading = OpenMovieFile(path, MovieAccess::kRead);
  if (!forReading || IsQuickTimeMovie(std::move(forReading)) != MovieCheck::kMovie) {
    console << "-- not a Quicktime\n";
    return;
  }
  console << "-- This is a quicktime\n";

  if (std::unique_ptr<MovieFile> movieFile = OpenMovieFile(path, MovieAccess::kReadWrite)) {
    WalkMovie(*movieFile, console);
  } else {
    console << "\nCOULD NOT OPEN MOVIE FILE FOR WRITE\nCHECK FOR READ-ONLY FILE\n\n";
  }

  // The whole path is tested, folders included, and the test is case-sensitive.
  if (path.find(".mov") == std::string::npos) {
    const std::string newPath = path + ".mov";
    console << "rename \"" << path << "\" \"" << newPath << "\"\n";
    std::string reason;
    if (!RenameFile(path, newPath, reason)) {
      console << "-- could not rename to " << newPath << ": " << reason << "\n";
    }
  }
}

}  // namespace

int RunTapwright(int argc, const char* const* argv, std::istream& input, std::ostream& console) {
  if (argc < 2) {
    PrintUsage(console);
    WaitForEnter(input, console);
    return 0;
  }

  const std::string droppedPath = argv[1];
  const bool isFolder = IsFolder(droppedPath);
  // The folder is listed before anything is printed.
  std::vector<std::string> fileNames;
  std::size_t itemCount = 1;
  if (isFolder) {
    itemCount = 0;
    if (getfile(droppedPath, fileNames, console) == 0) fileNames.clear();
    for (const std::string& name : fileNames) {
      if (!IsDotEntry(name)) ++itemCount;
    }
  }

  console << "Torvek Tapwright 1.0 - Changes aperture settings in Quicktimes\n"
          << "you cannot undo this change. close this window to abort.\n\n"
          << kProductNote << "You dropped " << droppedPath << " into Tapwright,\n";
  if (isFolder) {
    console << "every QT file contained in this folder will be modified,\nplease hit enter:";
  } else {
    console << "only that QT file will be modified, please hit enter:";
  }
  // Whatever is typed, the work goes on: closing the window is the way to abort.
  WaitForEnter(input, console);

  if (itemCount > 0) {
    if (isFolder) {
      for (const std::string& name : fileNames) {
        // An empty name is one that could not be stored while listing.
        if (name.empty() || IsDotEntry(name)) continue;
        console << name << " ";
        ProcessItem(droppedPath + kPathSeparator + name, console);
      }
    } else {
      console << droppedPath << " ";
      ProcessItem(droppedPath, console);
    }
  }

  console << "\nNormal termination. Press enter key to exit. ";
  WaitForEnter(input, console);
  return 0;
}

}  // namespace halvaris::aperture
