#include "atom_walk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "atom_writer.h"
#include "scratch_folder.h"

namespace halvaris::aperture::testing {
namespace {

const std::string kFileType = Atom("ftyp", "qt  " + Word(0x20050300) + "qt  ");

std::string Changed(std::size_t position) {
  return "Found & changed aperture setting at " + std::to_string(position) + " ...\n";
}

struct WalkResult {
  std::string bytes;
  std::string console;
};

// Walks a movie written to a real file, through the same descriptor access the tool uses. A
// movie opened for reading only makes every write fail.
WalkResult WalkOnDisk(const std::string& movie, MovieAccess access = MovieAccess::kReadWrite) {
  ScratchFolder folder;
  const std::string path = folder / "movie";
  WriteFile(path, movie);
  std::ostringstream console;
  if (std::unique_ptr<MovieFile> movieFile = OpenMovieFile(path, access)) {
    WalkMovie(*movieFile, console);
  } else {
    ADD_FAILURE() << "cannot open " << path;
  }
  return {ReadFile(path), console.str()};
}

MovieCheck CheckBytes(const std::string& bytes) {
  ScratchFolder folder;
  WriteFile(folder / "file", bytes);
  return IsQuickTimeMovie(OpenMovieFile(folder / "file", MovieAccess::kRead));
}

TEST(IsQuickTimeMovie, AcceptsTheListedFirstAtomTypesOnly) {
  for (const char* type : {"free", "skip", "wide", "pnot", "moov", "mdat", "ftyp"}) {
    EXPECT_EQ(CheckBytes(Atom(type, std::string(8, 'x'))), MovieCheck::kMovie) << type;
  }
  for (const char* type : {"tapt", "trak", "MOOV", "moo ", "\0\0\0\0"}) {
    EXPECT_EQ(CheckBytes(Atom(std::string(type, 4), std::string(8, 'x'))), MovieCheck::kNotMovie)
        << type;
  }
  EXPECT_EQ(CheckBytes(std::string("RIFF\x24\0\0\0AVI LIST", 16)), MovieCheck::kNotMovie);
}

TEST(IsQuickTimeMovie, SecondTestTakesFIFJAtOffsetSixButNotAJfifImage) {
  EXPECT_EQ(CheckBytes(std::string("\0\0\0\x10xxFIFJ\0\0\0\0", 14)), MovieCheck::kMovie);
  EXPECT_EQ(CheckBytes(std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\1\1\0", 14)),
            MovieCheck::kNotMovie);
}

TEST(IsQuickTimeMovie, FilesTooShortForATypeAreUnreadable) {
  for (std::size_t length = 0; length < 8; ++length) {
    EXPECT_EQ(CheckBytes(kFileType.substr(0, length)), MovieCheck::kUnreadable) << length;
  }
  // Long enough for a type, too short for the second test.
  EXPECT_EQ(CheckBytes("\0\0\0\x10xxxxFI"), MovieCheck::kUnreadable);
}

#ifndef _WIN32
// A dropped folder may hold a named pipe; the check must answer at once rather than wait for
// someone to write into it.
TEST(IsQuickTimeMovie, NamedPipeIsNotWaitedOnAndIsNoMovie) {
  ScratchFolder folder;
  const std::string path = folder / "pipe";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::future<MovieCheck> check = std::async(std::launch::async, [&path] {
    return IsQuickTimeMovie(OpenMovieFile(path, MovieAccess::kRead));
  });
  if (check.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "opening the pipe waits for a writer";
    // Lets the waiting open return, so that the test can end.
    int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) close(writer);
  }
  EXPECT_NE(check.get(), MovieCheck::kMovie);
}
#endif

TEST(WalkMovie, RewritesEveryTrackOfEveryMovieAtomInPlace) {
  const std::string movie = Concat(
      {kFileType, Atom("wide", ""), Atom("moov", Atom("trak", Tapt(1)) + Atom("trak", Tapt(2))),
       Atom("mdat", std::string(300, 'v')), Atom("moov", Atom("trak", Tapt(3)))});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1, 2, 3}));
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)) + Changed(PayloadOffset(movie, 2)) +
                                Changed(PayloadOffset(movie, 3)));
}

TEST(WalkMovie, RewritesApertureAtomsAtEveryLevelBelowTheMovie) {
  const std::string sampleTable = Atom("stbl", Atom("stsd", "descriptions") + Tapt(6));
  const std::string media =
      Atom("mdia", Tapt(4) + Atom("minf", Atom("vmhd", "12345678") + Tapt(5) + sampleTable));
  const std::string track =
      Atom("trak", Atom("tkhd", "header") + Tapt(2) + Atom("edts", Tapt(3)) + media);
  const std::string movie = Concat({kFileType, Atom("moov", Tapt(1) + track)});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1, 2, 3, 4, 5, 6}));
  std::string expected;
  for (uint32_t id = 1; id <= 6; ++id) expected += Changed(PayloadOffset(movie, id));
  EXPECT_EQ(result.console, expected);
}

TEST(WalkMovie, LeavesApertureAtomsOutsideTheDescentListAlone) {
  const std::string movie =
      Concat({kFileType, Tapt(7), Atom("free", Atom("moov", Tapt(8))),
              Atom("moov", Atom("udta", Tapt(9)) + Atom("moov", Tapt(10)) +
                               Atom("trak", Atom("mdia", Atom("hdlr", Tapt(11)))) +
                               Atom("trak", Tapt(1)))});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1}));
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)));
}

TEST(WalkMovie, FollowsExtendedSizesAtEveryLevel) {
  const std::string movie =
      Concat({kFileType, WideAtom("mdat", std::string(100, 'v')),
              WideAtom("moov", WideAtom("trak", Tapt(1)) +
                                   Atom("trak", WideAtom("tapt", AperturePayload(2))) +
                                   Atom("trak", Tapt(3)))});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1, 2, 3}));
  // The reported position is the one just after the 8-byte header, before the extended size.
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)) +
                                Changed(PayloadOffset(movie, 2) - 8) +
                                Changed(PayloadOffset(movie, 3)));
}

TEST(WalkMovie, CountsFillerWordsAndExtendedSizesAgainstTheContainer) {
  // Were the fillers or the extended size inside "trak" not counted, its walk would run on
  // into the top-level "tapt" after the movie and rewrite it.
  const std::string movie = Concat(
      {Filler(), kFileType, Filler(), Filler(),
       Atom("moov", Filler() + Atom("trak", Filler() + Tapt(1) + WideAtom("free", "") + Filler())),
       Tapt(2)});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1}));
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)));
}

TEST(WalkMovie, BadSizeEndsItsContainerAndTheWalkGoesOnAfterIt) {
  std::vector<std::string> badAtoms;
  for (uint32_t size = 2; size <= 7; ++size) badAtoms.push_back(Word(size) + "junk");
  badAtoms.push_back(Word(1) + "junk" + Word(0) + Word(15));
  for (const std::string& bad : badAtoms) {
    const std::string movie =
        Concat({kFileType, Atom("moov", Atom("trak", Tapt(1) + bad + "12345678" + Tapt(2)) +
                                            Atom("trak", Tapt(3)))});
    WalkResult result = WalkOnDisk(movie);
    EXPECT_EQ(result.bytes, Rewritten(movie, {1, 3}));
    EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)) + Changed(PayloadOffset(movie, 3)));
  }
}

TEST(WalkMovie, BadSizeOrSizePastTheEndAtTheTopLevelEndsTheWalk) {
  for (const std::string& atom : {Word(5) + "junk", Word(1) + "junk" + Word(0) + Word(8),
                                  WideAtomHeader("mdat", uint64_t{1} << 40),
                                  WideAtomHeader("mdat", ~uint64_t{0} - 100), Word(~0u) + "mdat"}) {
    const std::string movie = Concat({kFileType, atom, Atom("moov", Tapt(1))});
    WalkResult result = WalkOnDisk(movie);
    EXPECT_EQ(result.bytes, movie);
    EXPECT_EQ(result.console, "");
  }
}

TEST(WalkMovie, AperturePayloadsWithoutBothAperturesAreLeftAlone) {
  const std::string shortPayload = AperturePayload(1).substr(0, 39);
  const std::string exactPayload = AperturePayload(2).substr(0, 40);
  const std::string movie =
      Concat({kFileType, Atom("moov", Atom("tapt", "") + Atom("tapt", shortPayload) +
                                          Atom("tapt", exactPayload) + Tapt(3))});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {2, 3}));
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 2)) + Changed(PayloadOffset(movie, 3)));
}

TEST(WalkMovie, ApertureAtomCutOffByTheEndOfTheFileKeepsTheFileLength) {
  const std::string whole = Concat({kFileType, Atom("moov", Atom("trak", Tapt(1)))});
  for (std::size_t cut : {10, 30, 39}) {
    const std::string movie = whole.substr(0, PayloadOffset(whole, 1) + cut);
    WalkResult result = WalkOnDisk(movie);
    EXPECT_EQ(result.bytes, movie) << cut;
    EXPECT_EQ(result.console, "");
  }
  // The fields are all there even though the rest of the payload is missing.
  const std::string movie = whole.substr(0, PayloadOffset(whole, 1) + 45);
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1}));
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)));
}

TEST(WalkMovie, FailedWriteIsReportedAsSuchAndTheWalkGoesOn) {
  const std::string movie =
      Concat({kFileType, Atom("moov", Atom("trak", Tapt(1)) + Atom("trak", Tapt(2)))});
  WalkResult result = WalkOnDisk(movie, MovieAccess::kRead);
  EXPECT_EQ(result.bytes, movie);
  EXPECT_EQ(result.console, "Could not change aperture setting at " +
                                std::to_string(PayloadOffset(movie, 1)) + ": write failed\n" +
                                "Could not change aperture setting at " +
                                std::to_string(PayloadOffset(movie, 2)) + ": write failed\n");
}

TEST(WalkMovie, DeeplyNestedContainersCannotExhaustTheStack) {
  // Far deeper than any stack would take one level per container.
  constexpr std::size_t kLevels = 200000;
  const std::string bottom = Tapt(2);
  std::string nest;
  nest.reserve(kLevels * 8 + bottom.size());
  for (std::size_t level = 0; level < kLevels; ++level) {
    nest += Word(static_cast<uint32_t>((kLevels - level) * 8 + bottom.size())) + "trak";
  }
  nest += bottom;
  const std::string movie = Concat({kFileType, Atom("moov", nest + Atom("trak", Tapt(1)))});
  WalkResult result = WalkOnDisk(movie);
  EXPECT_EQ(result.bytes, Rewritten(movie, {1}));
  EXPECT_EQ(result.console, Changed(PayloadOffset(movie, 1)));
}

}  // namespace
}  // namespace halvaris::aperture::testing
