#include "mov_reader.h"

#include <algorithm>
#include <cstring>

#include "media_error.h"
#include "system_detection.h"

namespace halvaris::media {

namespace {

// More frames than this (three days at 60 Hz) means a damaged table, not a movie.
constexpr std::uint64_t kMaxSamples = 16u * 1024u * 1024u;
// Bytes of a table held in memory at a time.
constexpr std::size_t kTablePieceBytes = 64 * 1024;

std::uint32_t Big32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint64_t Big64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(Big32(p)) << 32 | Big32(p + 4);
}

const char kDamaged[] = "damaged QuickTime movie: ";

[[noreturn]] void Damaged(const std::string& what) {
  throw MediaError(kDamaged + what);
}

// One atom of the file: its type and where its contents (after the header) lie.
struct Atom {
  std::uint8_t type[4] = {0, 0, 0, 0};
  std::uint64_t offset = 0;     // of the contents
  std::uint64_t size = 0;       // of the contents
  std::string damage;           // set when the atom claims more bytes than its container holds
  const char* label = nullptr;  // how the file itself, as a container, is named

  bool Is(const char* code) const { return std::memcmp(type, code, 4) == 0; }
  std::string Name() const { return label != nullptr ? label : PrintableCode(type); }
};

// Reads `count` bytes from `offset` of an atom's contents, which must hold them.
void ReadContents(InputFile& file, const Atom& atom, std::uint64_t offset, void* buffer,
                  std::size_t count) {
  if (offset > atom.size || count > atom.size - offset) {
    Damaged("the " + atom.Name() + " atom is cut short (" + std::to_string(atom.size) +
            " bytes of contents)");
  }
  file.Seek(static_cast<std::int64_t>(atom.offset + offset));
  if (file.Read(buffer, count) != count) {
    Damaged("the " + atom.Name() + " atom runs past the end of the file");
  }
}

// Calls visit(child) for each atom inside `parent`, in order, until visit returns false.
// Returns "" when the walk ended at the container's end or was stopped, else what is wrong with
// the atom where it ended: one that claims more than its container holds is cut to what the
// container holds and visited (with `damage` set) before the walk ends; one whose size cannot
// be true ends the walk without a visit.
template <typename Visit>
std::string WalkChildren(InputFile& file, const Atom& parent, Visit visit) {
  std::uint64_t at = 0;
  while (parent.size - at >= 8) {
    std::uint8_t header[16];
    file.Seek(static_cast<std::int64_t>(parent.offset + at));
    if (file.Read(header, 8) != 8) return "the " + parent.Name() + " atom is cut short";
    Atom child;
    std::memcpy(child.type, header + 4, 4);
    std::uint64_t size = Big32(header);
    std::uint64_t headerSize = 8;
    const std::uint64_t room = parent.size - at;
    if (size == 1) {
      if (room < 16 || file.Read(header + 8, 8) != 8) {
        return "the 64-bit size of the " + child.Name() + " atom inside " + parent.Name() +
               " is cut short";
      }
      size = Big64(header + 8);
      headerSize = 16;
    } else if (size == 0) {
      size = room;  // runs to the end of its container
    }
    if (size < headerSize) {
      return "the " + child.Name() + " atom inside " + parent.Name() + " has a size of " +
             std::to_string(size) + " bytes, smaller than its " + std::to_string(headerSize) +
             "-byte header";
    }
    child.offset = parent.offset + at + headerSize;
    child.size = size - headerSize;
    if (size > room) {
      child.damage = "the " + child.Name() + " atom inside " + parent.Name() + " claims " +
                     std::to_string(size) + " bytes, but only " + std::to_string(room) +
                     " are left in " + parent.Name();
      child.size = room - headerSize;
      visit(child);
      return child.damage;
    }
    if (!visit(child)) return "";
    at += size;
  }
  return "";
}

// The first atom of each wanted type inside `parent`; the walk stops once all are found.
struct Children {
  std::vector<Atom> found;  // in the order of `wanted`
  std::vector<bool> present;
  std::string damage;  // what ended the walk early, if anything

  bool Has(std::size_t index) const { return present[index]; }
};

Children FindChildren(InputFile& file, const Atom& parent,
                      std::initializer_list<const char*> wanted) {
  Children children;
  children.found.resize(wanted.size());
  children.present.resize(wanted.size(), false);
  std::size_t missing = wanted.size();
  children.damage = WalkChildren(file, parent, [&](const Atom& child) {
    std::size_t index = 0;
    for (const char* code : wanted) {
      if (child.Is(code) && !children.present[index]) {
        children.found[index] = child;
        children.present[index] = true;
        --missing;
      }
      ++index;
    }
    return missing > 0;
  });
  return children;
}

// An atom the video needs: its absence or damage is an error that says what is wrong.
const Atom& Needed(const Children& children, std::size_t index, const char* code,
                   const Atom& parent, const char* trackKind = "video") {
  const Atom& atom = children.found[index];
  if (!children.Has(index)) {
    std::string what =
        "the " + parent.Name() + " atom of the " + trackKind + " track has no " + code + " atom";
    if (!children.damage.empty()) what = children.damage + ", so " + what;
    Damaged(what);
  }
  if (!atom.damage.empty()) Damaged(atom.damage);
  return atom;
}

bool IsDvcproHdFormat(const std::string& format) {
  static const char* const kFormats[] = {"dvh1", "dvh2", "dvh3", "dvh4",
                                         "dvh5", "dvh6", "dvhp", "dvhq"};
  return std::any_of(std::begin(kFormats), std::end(kFormats),
                     [&](const char* known) { return format == known; });
}

// The codes that name one system; the others (dvh1..dvh4) leave it to the frame size.
VideoSystem SystemOfFormat(const std::string& format) {
  if (format == "dvh6") return 1;
  if (format == "dvhp") return 2;
  if (format == "dvh5") return 3;
  if (format == "dvhq") return 4;
  return 0;
}

// Reads a table of big-endian numbers from the file a piece at a time.
class TableReader {
 public:
  TableReader(InputFile& file, TableLocation table, const char* name)
      : file_(file), table_(table), name_(name) {}

  std::uint32_t U32(std::uint64_t offset) { return Big32(At(offset, 4)); }
  std::uint64_t U64(std::uint64_t offset) { return Big64(At(offset, 8)); }

 private:
  const std::uint8_t* At(std::uint64_t offset, std::size_t bytes) {
    if (offset > table_.bytes || bytes > table_.bytes - offset) {
      Damaged(std::string("the ") + name_ + " atom is cut short");
    }
    if (offset < pieceStart_ || offset + bytes > pieceStart_ + piece_.size()) {
      pieceStart_ = offset;
      piece_.resize(static_cast<std::size_t>(
          std::min<std::uint64_t>(kTablePieceBytes, table_.bytes - offset)));
      file_.Seek(static_cast<std::int64_t>(table_.offset + offset));
      if (file_.Read(piece_.data(), piece_.size()) != piece_.size()) {
        Damaged(std::string("the ") + name_ + " atom runs past the end of the file");
      }
    }
    return piece_.data() + (offset - pieceStart_);
  }

  InputFile& file_;
  TableLocation table_;
  const char* name_;
  std::vector<std::uint8_t> piece_;
  std::uint64_t pieceStart_ = 0;
};

// The chunk map (stsc): runs of chunks with the same number of samples, walked chunk by chunk.
class ChunkMap {
 public:
  ChunkMap(InputFile& file, const SampleTable& track)
      : table_(file, track.sampleToChunk, "stsc"),
        runCount_(table_.U32(4)),
        chunkCount_(TableReader(file, track.chunkOffsets, "chunk offset").U32(4)) {}

  std::uint32_t ChunkCount() const { return chunkCount_; }

  // Moves to the next chunk; false after the last.
  bool NextChunk(std::uint32_t& samplesInChunk) {
    if (chunk_ >= chunkCount_) return false;
    ++chunk_;
    // Each run applies from its first chunk up to the next run's first chunk.
    while (run_ + 1 < runCount_ && FirstChunkOf(run_ + 1) <= chunk_) ++run_;
    if (runCount_ == 0 || FirstChunkOf(run_) > chunk_) Damaged("the stsc atom skips a chunk");
    samplesInChunk = table_.U32(8 + 12 * std::uint64_t{run_} + 4);
    return true;
  }

  // The chunk NextChunk() moved to, counted from 1.
  std::uint32_t Chunk() const { return chunk_; }

 private:
  std::uint32_t FirstChunkOf(std::uint32_t run) { return table_.U32(8 + 12 * std::uint64_t{run}); }

  TableReader table_;
  std::uint32_t runCount_;
  std::uint32_t chunkCount_;
  std::uint32_t chunk_ = 0;
  std::uint32_t run_ = 0;
};

// Checks that the tables hold what their counts say, and that the chunks hold every sample of
// the sizes table. Reads the chunk map once, a piece at a time.
void CheckSampleTables(InputFile& file, const SampleTable& track) {
  if (track.constantSampleSize == 0 && track.sampleSizes.bytes - 12 < 4 * track.sampleCount) {
    Damaged("the stsz atom is cut short: it lists " + std::to_string(track.sampleCount) +
            " sizes but holds " + std::to_string((track.sampleSizes.bytes - 12) / 4));
  }
  TableReader stsc(file, track.sampleToChunk, "stsc");
  if ((track.sampleToChunk.bytes - 8) / 12 < stsc.U32(4)) Damaged("the stsc atom is cut short");
  TableReader offsets(file, track.chunkOffsets, track.wideChunkOffsets ? "co64" : "stco");
  const std::uint64_t entryBytes = track.wideChunkOffsets ? 8 : 4;
  if ((track.chunkOffsets.bytes - 8) / entryBytes < offsets.U32(4)) {
    Damaged(std::string("the ") + (track.wideChunkOffsets ? "co64" : "stco") +
            " atom is cut short");
  }
  ChunkMap chunks(file, track);
  std::uint64_t held = 0;
  std::uint32_t samplesInChunk = 0;
  while (held < track.sampleCount && chunks.NextChunk(samplesInChunk)) held += samplesInChunk;
  if (held < track.sampleCount) {
    Damaged("the chunks hold fewer samples (" + std::to_string(held) +
            ") than the sample size table lists (" + std::to_string(track.sampleCount) + ")");
  }
}

// Reads the sample table atom of a track into `track`; more than `maxSamples` samples means a
// damaged table.
void ReadSampleTable(InputFile& file, const Atom& stbl, SampleTable& track,
                     std::uint64_t maxSamples) {
  const Children tables = FindChildren(file, stbl, {"stsz", "stsc", "co64", "stco"});
  const Atom& stsz = Needed(tables, 0, "stsz", stbl);
  const Atom& stsc = Needed(tables, 1, "stsc", stbl);
  const bool wide = tables.Has(2);
  const Atom& offsets = Needed(tables, wide ? 2 : 3, wide ? "co64" : "stco", stbl);

  std::uint8_t head[12];
  ReadContents(file, stsz, 0, head, 12);
  track.constantSampleSize = Big32(head + 4);
  track.sampleCount = Big32(head + 8);
  if (track.sampleCount > maxSamples) {
    Damaged("the sample size table lists " + std::to_string(track.sampleCount) +
            " samples, more than any real movie");
  }
  ReadContents(file, stsc, 0, head, 8);
  ReadContents(file, offsets, 0, head, 8);
  track.sampleSizes = {stsz.offset, stsz.size};
  track.sampleToChunk = {stsc.offset, stsc.size};
  track.chunkOffsets = {offsets.offset, offsets.size};
  track.wideChunkOffsets = wide;
  CheckSampleTables(file, track);
}

// Reads one track. Returns true and fills `track` when it is a DVCPRO HD video track; returns
// false for other tracks, noting the code of another video format in `otherVideoFormat`.
// Damage before the track is known to be ours is the caller's to pass over (MediaError).
bool ReadTrack(InputFile& file, const Atom& trak, std::string& otherVideoFormat, bool& isVideo,
               MovieVideoTrack& track) {
  const Children inTrack = FindChildren(file, trak, {"mdia"});
  if (!inTrack.Has(0)) {
    if (!inTrack.damage.empty()) Damaged(inTrack.damage);
    return false;
  }
  const Atom& mdia = inTrack.found[0];
  const Children inMedia = FindChildren(file, mdia, {"hdlr", "minf"});
  const Atom& hdlr = inMedia.found[0];
  if (!inMedia.Has(0)) {
    if (!inMedia.damage.empty()) Damaged(inMedia.damage);
    return false;
  }
  // Version and flags, then the component type (QuickTime) or nothing (MPEG-4), then the handler.
  std::uint8_t handler[12];
  ReadContents(file, hdlr, 0, handler, 12);
  isVideo = std::memcmp(handler + 8, "vide", 4) == 0;
  if (!isVideo) return false;

  const Atom& minf = Needed(inMedia, 1, "minf", mdia);
  const Children inInformation = FindChildren(file, minf, {"stbl"});
  const Atom& stbl = Needed(inInformation, 0, "stbl", minf);
  const Children inTable = FindChildren(file, stbl, {"stsd"});
  const Atom& stsd = Needed(inTable, 0, "stsd", stbl);

  // First sample description: size, format, 6 reserved, reference index, then the video fields
  // with width and height at 32 and 34.
  std::uint8_t description[8 + 36];
  ReadContents(file, stsd, 0, description, sizeof description);
  if (Big32(description + 4) == 0) Damaged("a video track has no sample description");
  const std::uint8_t* entry = description + 8;
  const std::string format(reinterpret_cast<const char*>(entry + 4), 4);
  if (!IsDvcproHdFormat(format)) {
    if (otherVideoFormat.empty()) otherVideoFormat = PrintableCode(entry + 4);
    return false;
  }
  track.format = format;
  track.width = entry[32] << 8 | entry[33];
  track.height = entry[34] << 8 | entry[35];
  if (!inTrack.damage.empty()) track.warnings.push_back(inTrack.damage);
  ReadSampleTable(file, stbl, track, kMaxSamples);

  track.system = SystemOfFormat(format);
  track.systemSource = "the sample description (\"" + format + "\")";
  if (track.system == 0 && track.sampleCount > 0) {
    std::uint32_t firstSize = track.constantSampleSize;
    if (firstSize == 0) firstSize = TableReader(file, track.sampleSizes, "stsz").U32(12);
    track.system = SystemOfFrameSize(firstSize);
    track.systemSource = "the frame size (" + std::to_string(firstSize) + " bytes)";
  }
  if (track.system == 0 && (track.width == 1280 || track.width == 1440)) {
    track.system = track.width == 1280 ? 1 : 3;
    track.systemSource = "the picture width (" + std::to_string(track.width) + ")";
  }
  if (track.system == 0) track.systemSource.clear();
  return true;
}

// Finds the top-level "moov" atom by walking the file's atoms.
Atom FindMovieAtom(InputFile& file, std::vector<std::string>& warnings) {
  const std::uint64_t fileSize = static_cast<std::uint64_t>(file.Size());
  Atom whole;
  whole.label = "the file";
  whole.size = fileSize;
  Atom movie;
  bool found = false;
  const std::string damage = WalkChildren(file, whole, [&](const Atom& atom) {
    if (!atom.Is("moov")) return true;
    movie = atom;
    found = true;
    return false;
  });
  if (!found) {
    if (!damage.empty()) Damaged(damage + ", and no movie atom (moov) comes before it");
    throw MediaError(file.Name() +
                     " is a QuickTime movie without a movie atom (moov); it may be cut short");
  }
  if (!movie.damage.empty()) {
    warnings.push_back(
        "the moov atom runs past the end of the file (cut short?); reading what "
        "there is of it");
  }
  return movie;
}

// A sound track's first sample description, as far as PCM needs it. Its layout depends on the
// description's version: 0 and 1 give channels, sample size and a 16.16 rate in the same places
// (1 adds the bytes per frame), 2 gives them as 32-bit fields, a 64-bit float rate and flags.
// Throws MediaError saying why the sound cannot be read.
void ReadSoundDescription(InputFile& file, const Atom& stsd, MovieSoundTrack& track) {
  std::uint8_t head[8];
  ReadContents(file, stsd, 0, head, sizeof head);
  if (Big32(head + 4) == 0) Damaged("the sound track has no sample description");
  std::uint8_t size[4];
  ReadContents(file, stsd, 8, size, 4);
  // The entry: small enough to hold whole, large enough for the version-2 fields.
  const std::uint32_t entryBytes = std::min<std::uint32_t>(Big32(size), 1024);
  if (entryBytes < 36) Damaged("the sound track's sample description is cut short");
  std::vector<std::uint8_t> entry(entryBytes);
  ReadContents(file, stsd, 8, entry.data(), entry.size());
  const std::uint8_t* e = entry.data();
  track.format = PrintableCode(e + 4);
  const bool sowt = track.format == "sowt", twos = track.format == "twos",
             in24 = track.format == "in24", lpcm = track.format == "lpcm";
  if (!sowt && !twos && !in24 && !lpcm) {
    throw MediaError("it holds \"" + track.format + "\" sound, not PCM that is read");
  }
  const int version = e[16] << 8 | e[17];
  std::size_t extensions = 36;
  double rate = 0;
  bool isFloat = false;
  bool isSigned = true;
  if (version == 2) {
    if (entryBytes < 72) Damaged("the sound track's sample description is cut short");
    std::uint64_t rateBits = Big64(e + 40);
    std::memcpy(&rate, &rateBits, sizeof rate);
    track.channels = static_cast<int>(std::min<std::uint32_t>(Big32(e + 48), 1000));
    track.bitsPerSample = static_cast<int>(std::min<std::uint32_t>(Big32(e + 56), 1000));
    const std::uint32_t flags = Big32(e + 60);
    isFloat = (flags & 1) != 0;
    track.bigEndian = (flags & 2) != 0;
    isSigned = (flags & 4) != 0 || track.bitsPerSample != 16;
    extensions = 72;
  } else {
    track.channels = e[24] << 8 | e[25];
    track.bitsPerSample = e[26] << 8 | e[27];
    rate = Big32(e + 32) / 65536.0;
    extensions = version == 1 ? 52 : 36;
    track.bigEndian = twos || in24;
    if (in24) track.bitsPerSample = 24;
    if (lpcm) throw MediaError("its \"lpcm\" description is not of version 2");
  }
  // An "enda" atom among the extensions (inside "wave" as written) says in24 is little-endian.
  if (in24) {
    for (std::size_t at = extensions; at + 10 <= entry.size(); ++at) {
      if (std::memcmp(e + at + 4, "enda", 4) == 0 && Big32(e + at) >= 10) {
        track.bigEndian = (e[at + 8] << 8 | e[at + 9]) == 0;
        break;
      }
    }
  }
  if (isFloat || !isSigned) throw MediaError("it holds floating-point or unsigned samples");
  if (track.bitsPerSample != 16 && track.bitsPerSample != 24) {
    throw MediaError("it holds " + std::to_string(track.bitsPerSample) +
                     "-bit samples; only 16 and 24 bits are read");
  }
  if (rate != 48000.0) {
    throw MediaError("it is sampled at " + std::to_string(static_cast<long long>(rate)) +
                     " Hz; only 48 kHz is read");
  }
  if (track.channels < 1 || track.channels > 64) {
    throw MediaError("it gives " + std::to_string(track.channels) + " channels");
  }
}

// Reads one track; returns false when it is no sound track.
bool ReadSoundTrack(InputFile& file, const Atom& trak, MovieSoundTrack& track) {
  const Children inTrack = FindChildren(file, trak, {"mdia"});
  if (!inTrack.Has(0)) return false;
  const Atom& mdia = inTrack.found[0];
  const Children inMedia = FindChildren(file, mdia, {"hdlr", "minf"});
  if (!inMedia.Has(0)) return false;
  std::uint8_t handler[12];
  ReadContents(file, inMedia.found[0], 0, handler, 12);
  if (std::memcmp(handler + 8, "soun", 4) != 0) return false;
  const Atom& minf = Needed(inMedia, 1, "minf", mdia, "sound");
  const Children inInformation = FindChildren(file, minf, {"stbl"});
  const Atom& stbl = Needed(inInformation, 0, "stbl", minf, "sound");
  const Children inTable = FindChildren(file, stbl, {"stsd"});
  const Atom& stsd = Needed(inTable, 0, "stsd", stbl, "sound");
  ReadSoundDescription(file, stsd, track);
  // One table sample per sample frame: 32-bit counts reach a day of 48 kHz sound.
  ReadSampleTable(file, stbl, track, UINT32_MAX);
  // PCM samples are all of one size, whatever stsz says (older movies give 1 byte).
  track.constantSampleSize = static_cast<std::uint32_t>(track.channels * track.bitsPerSample / 8);
  return true;
}

}  // namespace

std::string PrintableCode(const std::uint8_t* code) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t c = code[i];
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      text += static_cast<char>(c);
    } else {
      text += "\\x";
      text += kHex[c >> 4];
      text += kHex[c & 15];
    }
  }
  return text;
}

bool LooksLikeMovie(const std::uint8_t* data, std::size_t bytes) {
  if (bytes < 8) return false;
  static const char* const kTopLevel[] = {"ftyp", "moov", "mdat", "wide",
                                          "free", "skip", "pnot", "uuid"};
  return std::any_of(std::begin(kTopLevel), std::end(kTopLevel),
                     [&](const char* known) { return std::memcmp(data + 4, known, 4) == 0; });
}

MovieVideoTrack ReadMovieVideoTrack(InputFile& file) {
  if (file.Size() < 0) {
    throw MediaError(file.Name() +
                         " is a QuickTime movie, which can only be read from a file that can be "
                         "read out of order (not a pipe)",
                     MediaErrorCode::NotSeekable);
  }
  std::vector<std::string> warnings;
  const Atom movie = FindMovieAtom(file, warnings);
  MovieVideoTrack track;
  std::string otherVideoFormat;
  std::string videoDamage;  // of the first damaged video track
  bool found = false;
  const std::string damage = WalkChildren(file, movie, [&](const Atom& child) {
    if (!child.Is("trak")) return true;
    bool isVideo = false;
    try {
      found = ReadTrack(file, child, otherVideoFormat, isVideo, track);
      if (found && !child.damage.empty()) Damaged(child.damage);
    } catch (const MediaError& error) {
      // Damage in a track that is not the DVCPRO HD video is passed over; damage in the DVCPRO
      // HD track's own atoms is an error, and so is damage in a video track whose format
      // cannot be read unless a DVCPRO HD track follows.
      if (!track.format.empty()) throw;
      if (isVideo && videoDamage.empty()) videoDamage = error.what();
      std::string what = error.what();
      if (what.compare(0, sizeof kDamaged - 1, kDamaged) == 0) what.erase(0, sizeof kDamaged - 1);
      warnings.push_back("a damaged " + std::string(isVideo ? "video " : "") +
                         "track was skipped: " + what);
    }
    return !found;
  });
  if (!found) {
    if (!videoDamage.empty()) throw MediaError(videoDamage);
    if (!damage.empty()) Damaged(damage + ", and no DVCPRO HD video track comes before it");
    std::string message = otherVideoFormat.empty() ? file.Name() + " has no video track"
                                                   : file.Name() + " holds \"" + otherVideoFormat +
                                                         "\" video, not DVCPRO HD";
    if (!warnings.empty()) message += " that can be read (" + warnings.back() + ")";
    throw MediaError(message);
  }
  warnings.insert(warnings.end(), track.warnings.begin(), track.warnings.end());
  track.warnings = warnings;
  return track;
}

std::vector<MovieSoundTrack> ReadMovieSoundTracks(InputFile& file,
                                                  std::vector<std::string>& warnings) {
  std::vector<MovieSoundTrack> tracks;
  std::vector<std::string> ignored;
  const Atom movie = FindMovieAtom(file, ignored);
  int number = 0;
  WalkChildren(file, movie, [&](const Atom& child) {
    if (!child.Is("trak")) return true;
    ++number;
    MovieSoundTrack track;
    try {
      if (ReadSoundTrack(file, child, track)) tracks.push_back(track);
    } catch (const MediaError& error) {
      std::string what = error.what();
      if (what.compare(0, sizeof kDamaged - 1, kDamaged) == 0) what.erase(0, sizeof kDamaged - 1);
      warnings.push_back("the movie's track " + std::to_string(number) +
                         " (sound) is left out: " + what);
    }
    return true;
  });
  return tracks;
}

struct MovieSampleReader::State {
  State(InputFile& file, const SampleTable& movieTrack)
      : track(movieTrack),
        sizes(file, movieTrack.sampleSizes, "stsz"),
        offsets(file, movieTrack.chunkOffsets, movieTrack.wideChunkOffsets ? "co64" : "stco"),
        chunks(file, movieTrack) {}

  const SampleTable& track;
  TableReader sizes;
  TableReader offsets;
  ChunkMap chunks;
  std::uint64_t next = 0;  // index of the next sample
  std::uint32_t leftInChunk = 0;
  std::uint64_t offset = 0;  // of the next sample in its chunk
};

MovieSampleReader::MovieSampleReader(InputFile& file, const SampleTable& track)
    : state_(new State(file, track)) {}

MovieSampleReader::~MovieSampleReader() = default;

std::uint64_t MovieSampleReader::NextIndex() const {
  return state_->next;
}

bool MovieSampleReader::Next(MovieSample& sample) {
  State& s = *state_;
  if (s.next >= s.track.sampleCount) return false;
  while (s.leftInChunk == 0) {
    if (!s.chunks.NextChunk(s.leftInChunk)) {
      Damaged("the chunks hold fewer samples than the sample size table lists");
    }
    const std::uint64_t index = s.chunks.Chunk() - 1;
    s.offset =
        s.track.wideChunkOffsets ? s.offsets.U64(8 + 8 * index) : s.offsets.U32(8 + 4 * index);
  }
  const std::uint32_t size =
      s.track.constantSampleSize != 0 ? s.track.constantSampleSize : s.sizes.U32(12 + 4 * s.next);
  if (s.offset > UINT64_MAX - size) Damaged("a chunk offset wraps around");
  sample = {s.offset, size};
  s.offset += size;
  --s.leftInChunk;
  ++s.next;
  return true;
}

void CheckSampleInFile(const MovieSample& sample, std::uint64_t index, std::int64_t fileSize) {
  const std::uint64_t size = static_cast<std::uint64_t>(fileSize);
  if (sample.offset > size || sample.size > size - sample.offset) {
    std::string message = "sample " + std::to_string(index) + " of the video track (bytes " +
                          std::to_string(sample.offset) + " to " +
                          std::to_string(sample.offset + sample.size) +
                          ") lies outside the file (" + std::to_string(fileSize) + " bytes)";
    throw MediaError::FrameOutsideFile(message, static_cast<std::int64_t>(index));
  }
}

}  // namespace halvaris::media
