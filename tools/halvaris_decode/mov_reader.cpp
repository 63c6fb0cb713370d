#include "mov_reader.h"

#include <algorithm>
#include <cstring>

#include "system_detection.h"
#include "tool_error.h"

namespace halvaris::decode_tool {

namespace {

// More frames than this (three days at 60 Hz) means a damaged table, not a movie.
constexpr std::uint64_t kMaxSamples = 16u * 1024u * 1024u;
// The movie atom holds only tables; anything this large is damaged.
constexpr std::uint64_t kMaxMovieAtomBytes = 512u * 1024u * 1024u;

std::uint32_t Big32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint64_t Big64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(Big32(p)) << 32 | Big32(p + 4);
}

std::string TypeOf(const std::uint8_t* p) {
  return std::string(reinterpret_cast<const char*>(p), 4);
}

[[noreturn]] void Damaged(const std::string& what) {
  throw ToolError("damaged QuickTime movie: " + what);
}

// A bounds-checked view of atom contents held in memory.
struct Span {
  const std::uint8_t* data;
  std::size_t size;

  const std::uint8_t* At(std::size_t offset, std::size_t bytes, const char* atom) const {
    if (offset > size || bytes > size - offset)
      Damaged(std::string("the ") + atom + " atom is cut short");
    return data + offset;
  }
  std::uint32_t U32(std::size_t offset, const char* atom) const {
    return Big32(At(offset, 4, atom));
  }
};

// Calls visit(type, contents) for each atom directly inside `parent`.
template <typename Visit>
void ForEachChild(Span parent, Visit visit) {
  std::size_t offset = 0;
  while (parent.size - offset >= 8) {
    const std::uint8_t* header = parent.data + offset;
    std::uint64_t atomSize = Big32(header);
    std::size_t headerSize = 8;
    if (atomSize == 1) {
      if (parent.size - offset < 16) Damaged("an atom header is cut short");
      atomSize = Big64(header + 8);
      headerSize = 16;
    } else if (atomSize == 0) {
      atomSize = parent.size - offset;  // runs to the end of its parent
    }
    if (atomSize < headerSize || atomSize > parent.size - offset) {
      Damaged("the " + TypeOf(header + 4) + " atom is larger than what holds it");
    }
    visit(TypeOf(header + 4),
          Span{header + headerSize, static_cast<std::size_t>(atomSize) - headerSize});
    offset += static_cast<std::size_t>(atomSize);
  }
}

bool FindChild(Span parent, const char* type, Span& found) {
  bool present = false;
  ForEachChild(parent, [&](const std::string& childType, Span contents) {
    if (!present && childType == type) {
      found = contents;
      present = true;
    }
  });
  return present;
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

struct TrackTables {
  Span sampleDescriptions{nullptr, 0};
  Span sampleSizes{nullptr, 0};
  Span sampleToChunk{nullptr, 0};
  Span chunkOffsets{nullptr, 0};
  bool wideChunkOffsets = false;
};

std::vector<MovieSample> BuildSampleList(const TrackTables& tables) {
  const Span& stsz = tables.sampleSizes;
  const std::uint32_t constantSize = stsz.U32(4, "stsz");
  const std::uint64_t sampleCount = stsz.U32(8, "stsz");
  if (sampleCount > kMaxSamples) Damaged("the sample size table lists too many samples");
  if (constantSize == 0) stsz.At(12, static_cast<std::size_t>(sampleCount) * 4, "stsz");

  const Span& offsets = tables.chunkOffsets;
  const std::uint32_t chunkCount = offsets.U32(4, "chunk offset");
  const std::size_t offsetBytes = tables.wideChunkOffsets ? 8 : 4;
  offsets.At(8, static_cast<std::size_t>(chunkCount) * offsetBytes, "chunk offset");

  const Span& stsc = tables.sampleToChunk;
  const std::uint32_t runCount = stsc.U32(4, "stsc");
  stsc.At(8, static_cast<std::size_t>(runCount) * 12, "stsc");

  std::vector<MovieSample> samples;
  samples.reserve(static_cast<std::size_t>(sampleCount));
  std::uint32_t run = 0;
  for (std::uint32_t chunk = 1; chunk <= chunkCount && samples.size() < sampleCount; ++chunk) {
    // Each run of the table applies from its first chunk up to the next run's first chunk.
    while (run + 1 < runCount && stsc.U32(8 + 12 * (run + 1), "stsc") <= chunk) ++run;
    if (runCount == 0 || stsc.U32(8 + 12 * run, "stsc") > chunk)
      Damaged("the stsc atom skips a chunk");
    const std::uint32_t samplesInChunk = stsc.U32(8 + 12 * run + 4, "stsc");
    std::uint64_t offset = tables.wideChunkOffsets
                               ? Big64(offsets.At(8 + 8 * std::size_t{chunk - 1}, 8, "co64"))
                               : offsets.U32(8 + 4 * std::size_t{chunk - 1}, "stco");
    for (std::uint32_t i = 0; i < samplesInChunk && samples.size() < sampleCount; ++i) {
      const std::uint32_t size =
          constantSize != 0 ? constantSize : stsz.U32(12 + 4 * samples.size(), "stsz");
      if (offset > UINT64_MAX - size) Damaged("a chunk offset wraps around");
      samples.push_back({offset, size});
      offset += size;
    }
  }
  if (samples.size() < sampleCount)
    Damaged("the chunks hold fewer samples than the sample size table lists");
  return samples;
}

// Returns true and fills `track` when `trak` is a DVCPRO HD video track.
bool ReadTrack(Span trak, std::string& otherVideoFormat, MovieVideoTrack& track) {
  Span mdia{nullptr, 0}, hdlr{nullptr, 0}, minf{nullptr, 0}, stbl{nullptr, 0};
  if (!FindChild(trak, "mdia", mdia) || !FindChild(mdia, "hdlr", hdlr)) return false;
  if (TypeOf(hdlr.At(8, 4, "hdlr")) != "vide") return false;
  if (!FindChild(mdia, "minf", minf) || !FindChild(minf, "stbl", stbl)) {
    Damaged("a video track has no sample table");
  }
  TrackTables tables;
  Span stco{nullptr, 0}, co64{nullptr, 0};
  if (!FindChild(stbl, "stsd", tables.sampleDescriptions) ||
      !FindChild(stbl, "stsz", tables.sampleSizes) ||
      !FindChild(stbl, "stsc", tables.sampleToChunk)) {
    Damaged("a video track lacks its sample descriptions, sizes or chunk map");
  }
  if (FindChild(stbl, "co64", co64)) {
    tables.chunkOffsets = co64;
    tables.wideChunkOffsets = true;
  } else if (FindChild(stbl, "stco", stco)) {
    tables.chunkOffsets = stco;
  } else {
    Damaged("a video track has no chunk offsets");
  }

  // First sample description: size, format, 6 reserved, reference index, then the video fields
  // with width and height at 32 and 34.
  const Span& stsd = tables.sampleDescriptions;
  if (stsd.U32(4, "stsd") == 0) Damaged("a video track has no sample description");
  const std::uint8_t* description = stsd.At(8, 36, "stsd");
  const std::string format = TypeOf(description + 4);
  if (!IsDvcproHdFormat(format)) {
    if (otherVideoFormat.empty()) otherVideoFormat = format;
    return false;
  }
  track.format = format;
  track.width = description[32] << 8 | description[33];
  track.height = description[34] << 8 | description[35];
  track.samples = BuildSampleList(tables);
  track.system = SystemOfFormat(format);
  if (track.system == 0 && !track.samples.empty())
    track.system = SystemOfFrameSize(track.samples[0].size);
  if (track.system == 0 && track.width == 1280) track.system = 1;
  if (track.system == 0 && track.width == 1440) track.system = 3;
  return true;
}

// Finds the top-level "moov" atom by walking the file's atoms and reads it into memory.
std::vector<std::uint8_t> ReadMovieAtom(InputFile& file) {
  const std::int64_t fileSize = file.Size();
  std::int64_t offset = 0;
  while (fileSize - offset >= 8) {
    std::uint8_t header[16];
    file.Seek(offset);
    if (file.Read(header, 8) != 8) break;
    std::uint64_t atomSize = Big32(header);
    std::uint64_t headerSize = 8;
    if (atomSize == 1) {
      if (file.Read(header + 8, 8) != 8) Damaged("an atom header is cut short");
      atomSize = Big64(header + 8);
      headerSize = 16;
    } else if (atomSize == 0) {
      atomSize = static_cast<std::uint64_t>(fileSize - offset);
    }
    if (atomSize < headerSize)
      Damaged("the " + TypeOf(header + 4) + " atom has a size below its header's");
    if (TypeOf(header + 4) == "moov") {
      if (atomSize > static_cast<std::uint64_t>(fileSize - offset))
        Damaged("the moov atom runs past the end of the file");
      if (atomSize > kMaxMovieAtomBytes) Damaged("the moov atom is implausibly large");
      std::vector<std::uint8_t> contents(static_cast<std::size_t>(atomSize - headerSize));
      file.Seek(offset + static_cast<std::int64_t>(headerSize));
      if (file.Read(contents.data(), contents.size()) != contents.size())
        Damaged("the moov atom is cut short");
      return contents;
    }
    if (atomSize > static_cast<std::uint64_t>(fileSize - offset)) break;
    offset += static_cast<std::int64_t>(atomSize);
  }
  throw ToolError(file.Name() +
                  " is a QuickTime movie without a movie atom (moov); it may be cut short");
}

}  // namespace

bool LooksLikeMovie(const std::uint8_t* data, std::size_t bytes) {
  if (bytes < 8) return false;
  static const char* const kTopLevel[] = {"ftyp", "moov", "mdat", "wide",
                                          "free", "skip", "pnot", "uuid"};
  const std::string type = TypeOf(data + 4);
  return std::any_of(std::begin(kTopLevel), std::end(kTopLevel),
                     [&](const char* known) { return type == known; });
}

MovieVideoTrack ReadMovieVideoTrack(InputFile& file) {
  if (file.Size() < 0)
    throw ToolError("QuickTime movies are read from files, not from standard input");
  const std::vector<std::uint8_t> movie = ReadMovieAtom(file);
  MovieVideoTrack track;
  std::string otherVideoFormat;
  bool found = false;
  ForEachChild(Span{movie.data(), movie.size()}, [&](const std::string& type, Span contents) {
    if (!found && type == "trak") found = ReadTrack(contents, otherVideoFormat, track);
  });
  if (!found) {
    throw ToolError(otherVideoFormat.empty()
                        ? file.Name() + " has no video track"
                        : file.Name() + " holds \"" + otherVideoFormat + "\" video, not DVCPRO HD");
  }
  return track;
}

void CheckSampleInFile(const MovieVideoTrack& track, std::size_t index, std::int64_t fileSize) {
  const MovieSample& sample = track.samples.at(index);
  const std::uint64_t size = static_cast<std::uint64_t>(fileSize);
  if (sample.offset > size || sample.size > size - sample.offset) {
    std::string message = "sample " + std::to_string(index) + " of the video track (bytes " +
                          std::to_string(sample.offset) + " to " +
                          std::to_string(sample.offset + sample.size) +
                          ") lies outside the file (" + std::to_string(fileSize) + " bytes)";
    if (index > 0)
      message += "; --frames 0-" + std::to_string(index - 1) + " decodes the frames before it";
    throw ToolError(message);
  }
}

}  // namespace halvaris::decode_tool
