#include "atom_walk.h"

#include <limits>

#include "atom_header.h"

namespace halvaris::aperture {
namespace {

using quicktime::FourCC;

// First-atom types that make a file a movie, in the order they are compared.
constexpr uint32_t kMovieFirstAtoms[] = {FourCC("free"), FourCC("skip"), FourCC("wide"),
                                         FourCC("pnot"), FourCC("moov"), FourCC("mdat"),
                                         FourCC("ftyp")};
// The letters F, I, F, J at offset 6, which some movie writers leave there. (A JFIF image has
// them the other way round and is not taken.)
constexpr uint32_t kSecondTestMark = 0x4649464A;

constexpr uint32_t kApertureAtom = FourCC("tapt");
constexpr uint32_t kMovieAtom = FourCC("moov");
constexpr uint32_t kDescendedAtoms[] = {FourCC("trak"), FourCC("mdia"), FourCC("minf"),
                                        FourCC("stbl"), FourCC("edts")};

// "tapt" payload: clean aperture width and height at 12, production aperture at 32.
constexpr int kCleanApertureOffset = 12;
constexpr int kProductionApertureOffset = 32;
constexpr int kApertureFieldsLength = 40;

// Real movies nest a handful of levels deep; a crafted file could nest containers until the
// stack runs out. Deeper containers are passed over like any other atom.
constexpr int kDeepestLevel = 64;

bool ReadWord(MovieFile& file, uint32_t& word) {
  unsigned char bytes[4];
  if (file.Read(bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) return false;
  word = quicktime::Big32(bytes);
  return true;
}

bool IsDescended(uint32_t type) {
  for (uint32_t container : kDescendedAtoms) {
    if (type == container) return true;
  }
  return false;
}

enum class Walk { kGoOn, kStop };

// How the bytes after an atom's 8-byte header are to be taken.
enum class Payload { kLength, kBadSize, kUnreadable };

// Works out the payload length from the size word, reading the extended size when the size
// is 1. Sizes 2 to 7 and extended sizes below 16 would make the payload negative and send the
// walk backwards; they are reported as bad instead.
Payload PayloadLength(MovieFile& file, uint32_t size, int64_t& length) {
  unsigned char extended[8] = {};
  if (size == quicktime::kExtendedSizeMark &&
      file.Read(extended, sizeof extended) != static_cast<int64_t>(sizeof extended)) {
    return Payload::kUnreadable;
  }
  const quicktime::AtomSize atomSize = quicktime::SizeOfAtom(size, extended);
  uint64_t contents = 0;
  if (!quicktime::ContentsBytes(atomSize, contents) ||
      atomSize.atomBytes > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    return Payload::kBadSize;
  }
  length = static_cast<int64_t>(contents);
  return Payload::kLength;
}

bool SeekPast(MovieFile& file, int64_t start, int64_t length) {
  if (start < 0 || length > std::numeric_limits<int64_t>::max() - start) return false;
  return file.SeekTo(start + length);
}

// Copies the production aperture over the clean aperture of the "tapt" atom whose payload
// starts at the current position, and leaves the position at the end of the atom. Only the
// 8 changed bytes are written, so a failed write cannot damage anything else.
Walk RewriteAperture(MovieFile& file, std::ostream& console, int64_t reportedPosition,
                     int64_t payloadLength) {
  int64_t payloadStart = file.Position();
  if (payloadStart < 0) return Walk::kStop;
  // A shorter payload does not hold both apertures; nor does a payload whose aperture fields
  // are cut off by the end of the file.
  unsigned char fields[kApertureFieldsLength];
  if (payloadLength >= kApertureFieldsLength &&
      file.Read(fields, sizeof fields) == static_cast<int64_t>(sizeof fields)) {
    bool written = file.SeekTo(payloadStart + kCleanApertureOffset) &&
                   file.Write(fields + kProductionApertureOffset, 8);
    if (written) {
      console << "Found & changed aperture setting at " << reportedPosition << " ...\n";
    } else {
      console << "Could not change aperture setting at " << reportedPosition << ": write failed\n";
    }
  }
  return SeekPast(file, payloadStart, payloadLength) ? Walk::kGoOn : Walk::kStop;
}

// One container level. Stops the whole walk when a read or a seek fails: the file ends there
// (or cannot be read), so no later atom could be reached at a position worth trusting.
Walk WalkLevel(MovieFile& file, std::ostream& console, int64_t remaining, int depth) {
  while (remaining > 0) {
    uint32_t size = 0;
    if (!ReadWord(file, size)) return Walk::kStop;
    if (size == 0) {  // 4 bytes of filler
      remaining -= 4;
      continue;
    }
    uint32_t type = 0;
    if (!ReadWord(file, type)) return Walk::kStop;
    remaining -= 8;
    int64_t reportedPosition = file.Position();
    if (size == 1) remaining -= 8;
    int64_t payloadLength = 0;
    Payload payload = PayloadLength(file, size, payloadLength);
    if (payload == Payload::kUnreadable) return Walk::kStop;
    if (payload == Payload::kBadSize) {
      // Nothing after a bad size can be located: the rest of this container is passed over,
      // and the enclosing level goes on after it.
      if (remaining > 0 && !file.Skip(remaining)) return Walk::kStop;
      return Walk::kGoOn;
    }

    Walk next = Walk::kGoOn;
    if (type == kApertureAtom) {
      next = RewriteAperture(file, console, reportedPosition, payloadLength);
    } else if (IsDescended(type) && depth < kDeepestLevel) {
      // No seek afterwards: the children's sizes add up to the container's payload.
      next = WalkLevel(file, console, payloadLength, depth + 1);
    } else if (!file.Skip(payloadLength)) {
      next = Walk::kStop;
    }
    if (next == Walk::kStop) return Walk::kStop;
    remaining -= payloadLength;
  }
  return Walk::kGoOn;
}

}  // namespace

MovieCheck IsQuickTimeMovie(std::unique_ptr<MovieFile> file) {
  uint32_t type = 0;
  if (!file || !file->SeekTo(4) || !ReadWord(*file, type)) return MovieCheck::kUnreadable;
  for (uint32_t movieType : kMovieFirstAtoms) {
    if (type == movieType) return MovieCheck::kMovie;
  }
  uint32_t mark = 0;
  if (!file->SeekTo(6) || !ReadWord(*file, mark)) return MovieCheck::kUnreadable;
  return mark == kSecondTestMark ? MovieCheck::kMovie : MovieCheck::kNotMovie;
}

void WalkMovie(MovieFile& movieFile, std::ostream& console) {
  // The top level has no length of its own: it ends where the file does.
  for (;;) {
    uint32_t size = 0;
    if (!ReadWord(movieFile, size)) return;
    if (size == 0) continue;  // 4 bytes of filler
    uint32_t type = 0;
    if (!ReadWord(movieFile, type)) return;
    int64_t payloadLength = 0;
    if (PayloadLength(movieFile, size, payloadLength) != Payload::kLength) return;
    if (type == kMovieAtom) {
      if (WalkLevel(movieFile, console, payloadLength, 1) == Walk::kStop) return;
    } else if (!movieFile.Skip(payloadLength)) {
      return;
    }
  }
}

void WalkAtoms(MovieFile& movieFile, std::ostream& console, int64_t remaining) {
  WalkLevel(movieFile, console, remaining, 1);
}

}  // namespace halvaris::aperture
