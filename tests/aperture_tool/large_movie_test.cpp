#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "atom_walk.h"
#include "atom_writer.h"
#include "scratch_folder.h"

namespace halvaris::aperture::testing {
namespace {

// A sparse movie whose "moov" starts half a gigabyte past the 4 GB mark, behind a media data
// atom with a 64-bit size. Positions cut to 32 bits would land 4 GB too early.
TEST(LargeMovie, ApertureBeyondFourGigabytesIsRewrittenInPlace) {
  ScratchFolder folder;
  // The file takes a few kilobytes on disk, but the file system must take its length.
  const auto space = std::filesystem::space(folder.Path());
  if (space.available < (uint64_t{64} << 20)) GTEST_SKIP() << "less than 64 MB free";

  constexpr uint64_t kMovieOffset = (uint64_t{9} << 29);  // 4.5 GB
  const std::string fileType = Atom("ftyp", "qt  " + Word(0) + "qt  ");
  const std::string head = fileType + WideAtomHeader("mdat", kMovieOffset - fileType.size() - 16);
  const std::string moov = Atom("moov", Atom("trak", Atom("mdia", Tapt(1))));
  const uint64_t length = kMovieOffset + moov.size();

  const std::string path = folder / "large.mov";
  MakeSparseFile(path, length);
  WriteAt(path, 0, head);
  WriteAt(path, kMovieOffset, moov);

  ASSERT_EQ(IsQuickTimeMovie(OpenMovieFile(path, MovieAccess::kRead)), MovieCheck::kMovie);
  std::ostringstream console;
  {
    std::unique_ptr<MovieFile> movieFile = OpenMovieFile(path, MovieAccess::kReadWrite);
    ASSERT_TRUE(movieFile);
    WalkMovie(*movieFile, console);
  }
  EXPECT_EQ(console.str(), "Found & changed aperture setting at " +
                               std::to_string(kMovieOffset + PayloadOffset(moov, 1)) + " ...\n");
  EXPECT_EQ(std::filesystem::file_size(path), length);
  EXPECT_EQ(ReadAt(path, 0, head.size()), head);
  EXPECT_EQ(ReadAt(path, kMovieOffset, moov.size() + 1), Rewritten(moov, {1}));
}

}  // namespace
}  // namespace halvaris::aperture::testing
