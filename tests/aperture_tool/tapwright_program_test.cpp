#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "atom_writer.h"
#include "program_runner.h"
#include "scratch_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace halvaris::aperture::testing {
namespace {
namespace fs = std::filesystem;

const std::string kNote =
    "To play back DVCPRO HD and DVCPRO50 QuickTime movies, install the Halvaris Decoder and\n"
    "use any DirectShow player; to author them, install the Halvaris QuickTime components and\n"
    "the Vegas 9.0 plug-in, then edit in Vegas 9.0 or in your QuickTime authoring software.\n"
    "Updates and help for every Torvek product: www.torvek.com\n\n";
const std::string kEnd = "\nNormal termination. Press enter key to exit. ";
const std::string kEnterTwice = "\n\n";

std::string Banner(const std::string& dropped, bool folder) {
  return "Torvek Tapwright 1.0 - Changes aperture settings in Quicktimes\n"
         "you cannot undo this change. close this window to abort.\n\n" +
         kNote + "You dropped " + dropped + " into Tapwright,\n" +
         (folder ? "every QT file contained in this folder will be modified,\nplease hit enter:"
                 : "only that QT file will be modified, please hit enter:");
}

std::string Movie(uint32_t id) {
  return Concat({Atom("ftyp", "qt  " + Word(0) + "qt  "), Atom("moov", Atom("trak", Tapt(id))),
                 Atom("mdat", std::string(64, 'v'))});
}

std::string Changed(const std::string& movie, uint32_t id) {
  return "Found & changed aperture setting at " + std::to_string(PayloadOffset(movie, id)) +
         " ...\n";
}

std::string Rename(const std::string& path) {
  return "rename \"" + path + "\" \"" + path + ".mov\"\n";
}

const std::string kMovie = "-- This is a quicktime\n";
const std::string kNotMovie = "-- not a Quicktime\n";
const std::string kWriteOpenFailed =
    "\nCOULD NOT OPEN MOVIE FILE FOR WRITE\nCHECK FOR READ-ONLY FILE\n\n";

// Entry names of a folder in the order the program will list them.
std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

std::string ExpectedFolderRun(const std::string& folder,
                              const std::map<std::string, std::string>& reports) {
  std::string text = Banner(folder, true);
  for (const std::string& name : Listing(folder)) {
    auto report = reports.find(name);
    text += name + " " + (report != reports.end() ? report->second : "<unexpected entry>");
  }
  return text + kEnd;
}

// Makes a movie read-only for the program while this object lives.
class ReadOnlyMovie {
 public:
  explicit ReadOnlyMovie(const std::string& path) {
#ifdef _WIN32
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
      // Wine run as root still opens read-only files for writing. The open for writing is
      // made to fail another way: this handle lets others read and rename, but not write.
      CloseHandle(probe);
      writeBlock_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    }
#else
    // RunTapwrightProgramUnprivileged drops root rights, which would ignore the permissions.
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#endif
  }
  ReadOnlyMovie(const ReadOnlyMovie&) = delete;
  ReadOnlyMovie& operator=(const ReadOnlyMovie&) = delete;
  ~ReadOnlyMovie() {
#ifdef _WIN32
    if (writeBlock_ != INVALID_HANDLE_VALUE) CloseHandle(writeBlock_);
#endif
  }

 private:
#ifdef _WIN32
  HANDLE writeBlock_ = INVALID_HANDLE_VALUE;
#endif
};

TEST(TapwrightProgram, WithoutAPathPrintsHowToUseIt) {
  ProgramRun run = RunTapwrightProgram({}, "\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output,
            "To use Tapwright, drag the application to your desktop, \n"
            "then drag and drop a quicktime file or folder of files\n"
            "into the application.\n\n" +
                kNote + "No file or folder dropped in.  Press any Enter to exit. ");
}

struct DroppedName {
  const char* name;
  const char* nameAfterwards;
};

void PrintTo(const DroppedName& dropped, std::ostream* out) {
  *out << dropped.name << " -> " << dropped.nameAfterwards;
}

class DroppedMovie : public ::testing::TestWithParam<DroppedName> {};

TEST_P(DroppedMovie, IsRewrittenAndGetsTheSuffixUnlessItsPathHasOne) {
  ScratchFolder folder;
  const std::string path = folder / GetParam().name;
  const std::string movie = Movie(1);
  WriteFile(path, movie);
  ProgramRun run = RunTapwrightProgram({path}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  const bool renamed = std::string(GetParam().name) != GetParam().nameAfterwards;
  EXPECT_EQ(run.output, Banner(path, false) + path + " " + kMovie + Changed(movie, 1) +
                            (renamed ? Rename(path) : "") + kEnd);
  EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{GetParam().nameAfterwards});
  EXPECT_EQ(ReadFile(folder / GetParam().nameAfterwards), Rewritten(movie, {1}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DroppedMovie,
    ::testing::Values(DroppedName{"clip", "clip.mov"}, DroppedName{"clip.mov", "clip.mov"},
                      DroppedName{"CLIP.MOV", "CLIP.MOV.mov"},
                      DroppedName{"clip.mp4", "clip.mp4.mov"}, DroppedName{"a.movie", "a.movie"},
                      // Names the command interpreter would have expanded or split.
                      DroppedName{"100%PATH% & more", "100%PATH% & more.mov"}),
    [](const ::testing::TestParamInfo<DroppedName>& param) {
      std::string name = param.param.name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(TapwrightProgram, DroppedFileThatIsNotAMovieIsLeftAlone) {
  ScratchFolder folder;
  const std::string path = folder / "notes.txt";
  WriteFile(path, "shot list: take 1, take 2\n");
  ProgramRun run = RunTapwrightProgram({path}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Banner(path, false) + path + " " + kNotMovie + kEnd);
  EXPECT_EQ(ReadFile(path), "shot list: take 1, take 2\n");
}

TEST(TapwrightProgram, RenameNeverReplacesAnExistingFile) {
  ScratchFolder folder;
  const std::string path = folder / "clip";
  const std::string movie = Movie(1);
  WriteFile(path, movie);
  WriteFile(folder / "clip.mov", "an earlier take");
  ProgramRun run = RunTapwrightProgram({path}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  const std::string expectedStart = Banner(path, false) + path + " " + kMovie + Changed(movie, 1) +
                                    Rename(path) + "-- could not rename to " + path + ".mov: ";
  EXPECT_EQ(run.output.substr(0, expectedStart.size()), expectedStart);
  // The reason takes the rest of one line, then the run ends as usual.
  const std::string rest = run.output.substr(std::min(expectedStart.size(), run.output.size()));
  ASSERT_GT(rest.size(), kEnd.size() + 1);
  const std::string reason = rest.substr(0, rest.size() - kEnd.size() - 1);
  EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
  EXPECT_EQ(rest.substr(reason.size()), "\n" + kEnd);
  EXPECT_EQ(ReadFile(path), Rewritten(movie, {1}));
  EXPECT_EQ(ReadFile(folder / "clip.mov"), "an earlier take");
}

TEST(TapwrightProgram, DroppedFolderHasEachEntryHandledButNotItsSubfolders) {
  ScratchFolder folder;
  const std::string a = Movie(1), b = Movie(2), inner = Movie(3);
  WriteFile(folder / "a", a);
  WriteFile(folder / "b.mov", b);
  WriteFile(folder / "notes.txt", "not a movie");
  fs::create_directory(folder.Path() / "sub");
  const std::string innerPath = (folder.Path() / "sub" / "inner").string();
  WriteFile(innerPath, inner);
  const std::string expected = ExpectedFolderRun(
      folder.Path().string(), {{"a", kMovie + Changed(a, 1) + Rename(folder / "a")},
                               {"b.mov", kMovie + Changed(b, 2)},
                               {"notes.txt", kNotMovie},
                               {"sub", kNotMovie}});

  ProgramRun run = RunTapwrightProgram({folder.Path().string()}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, expected);
  EXPECT_EQ(ReadFile(folder / "a.mov"), Rewritten(a, {1}));
  EXPECT_EQ(ReadFile(folder / "b.mov"), Rewritten(b, {2}));
  EXPECT_EQ(ReadFile(folder / "notes.txt"), "not a movie");
  EXPECT_EQ(ReadFile(innerPath), inner);
  EXPECT_FALSE(fs::exists(folder.Path() / "a"));
}

TEST(TapwrightProgram, MovieInAFolderWhoseNameHasTheSuffixIsNotRenamed) {
  ScratchFolder folder;
  const fs::path takes = folder.Path() / "takes.mov";
  fs::create_directory(takes);
  const std::string movie = Movie(1);
  WriteFile((takes / "clip").string(), movie);
  ProgramRun run = RunTapwrightProgram({takes.string()}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Banner(takes.string(), true) + "clip " + kMovie + Changed(movie, 1) + kEnd);
  EXPECT_EQ(ReadFile((takes / "clip").string()), Rewritten(movie, {1}));
}

TEST(TapwrightProgram, ReadOnlyMovieIsReportedAndTheRestOfTheFolderIsStillDone) {
  ScratchFolder folder;
  const std::string locked = Movie(1), open = Movie(2);
  WriteFile(folder / "locked", locked);
  WriteFile(folder / "open", open);
  // The program may run as another user (see RunTapwrightProgramUnprivileged).
  fs::permissions(folder.Path(), fs::perms::all);
  fs::permissions(folder / "open", fs::perms::owner_read | fs::perms::owner_write |
                                       fs::perms::group_read | fs::perms::group_write |
                                       fs::perms::others_read | fs::perms::others_write);
  const std::string expected = ExpectedFolderRun(
      folder.Path().string(), {{"locked", kMovie + kWriteOpenFailed + Rename(folder / "locked")},
                               {"open", kMovie + Changed(open, 2) + Rename(folder / "open")}});
  ProgramRun run;
  {
    ReadOnlyMovie readOnly(folder / "locked");
    run = RunTapwrightProgramUnprivileged({folder.Path().string()}, kEnterTwice);
  }
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, expected);
  EXPECT_EQ(ReadFile(folder / "locked.mov"), locked);
  EXPECT_EQ(ReadFile(folder / "open.mov"), Rewritten(open, {2}));
}

TEST(TapwrightProgram, DroppedPathThatDoesNotExistIsAnEmptyFolder) {
  ScratchFolder folder;
  const std::string path = folder / "missing";
  ProgramRun run = RunTapwrightProgram({path}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Banner(path, true) + kEnd);
}

TEST(TapwrightProgram, OnlyTheFirstDroppedPathIsHandled) {
  ScratchFolder folder;
  const std::string first = Movie(1), second = Movie(2);
  WriteFile(folder / "first", first);
  WriteFile(folder / "second", second);
  ProgramRun run = RunTapwrightProgram({folder / "first", folder / "second"}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, Banner(folder / "first", false) + folder / "first" + " " + kMovie +
                            Changed(first, 1) + Rename(folder / "first") + kEnd);
  EXPECT_EQ(ReadFile(folder / "first.mov"), Rewritten(first, {1}));
  EXPECT_EQ(ReadFile(folder / "second"), second);
}

#ifndef _WIN32
// Windows cannot even list such a folder through the narrow calls; on Linux it can.
TEST(TapwrightProgram, EntryWhosePathIsTooLongIsReportedNotProcessed) {
  ScratchFolder folder;
  fs::path deep = folder.Path();
  while (deep.string().size() < 3900) deep /= std::string(200, 'd');
  fs::create_directories(deep);
  const std::string longName(250, 'm');
  const std::string movie = Movie(1);
  // The full path is longer than the system takes in one piece, so the file is made from its
  // folder.
  int folderDescriptor = open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folderDescriptor, 0);
  int file = openat(folderDescriptor, longName.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(file, 0);
  ASSERT_EQ(write(file, movie.data(), movie.size()), static_cast<ssize_t>(movie.size()));
  close(file);
  WriteFile((deep / "short").string(), movie);

  const std::string expected = ExpectedFolderRun(
      deep.string(), {{longName, "-- path too long, not processed\n"},
                      {"short", kMovie + Changed(movie, 1) + Rename((deep / "short").string())}});

  ProgramRun run = RunTapwrightProgram({deep.string()}, kEnterTwice);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, expected);
  std::string stored(movie.size(), '\0');
  file = openat(folderDescriptor, longName.c_str(), O_RDONLY);
  ASSERT_EQ(read(file, stored.data(), stored.size()), static_cast<ssize_t>(stored.size()));
  close(file);
  close(folderDescriptor);
  EXPECT_EQ(stored, movie);
}
#endif

}  // namespace
}  // namespace halvaris::aperture::testing
