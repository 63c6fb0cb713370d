#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "mxf/byte_source.h"
#include "mxf/klv.h"

namespace halvaris::media::mxf {

using Umid = std::array<std::uint8_t, 32>;

struct Rational {
  std::int64_t numerator = 0;
  std::int64_t denominator = 0;

  bool Valid() const { return numerator > 0 && denominator > 0; }
  bool Equals(std::int64_t otherNumerator, std::int64_t otherDenominator) const {
    return Valid() && numerator * otherDenominator == otherNumerator * denominator;
  }
};

enum class TrackKind { Picture, Sound, Other };

// What a CDCI, RGBA or generic picture essence descriptor says.
struct PictureDescriptor {
  bool present = false;
  int storedWidth = 0;
  int storedHeight = 0;
  int displayWidth = 0;
  int displayHeight = 0;
  int frameLayout = -1;  // 0 full frame, 1 separate fields, 2 one field, 3 mixed, 4 segmented
  Rational aspectRatio;
  Rational sampleRate;
  Key essenceContainer{};
};

// What a generic sound, WAVE or AES3 essence descriptor says.
struct SoundDescriptor {
  bool present = false;
  int channels = 0;
  int bitsPerSample = 0;
  int blockAlign = 0;
  Rational samplingRate;
};

// A track of the file package (the package that describes the essence of this file).
struct EssenceTrack {
  std::uint32_t trackId = 0;
  std::uint32_t trackNumber = 0;  // the last four bytes of its essence elements' keys, or 0
  TrackKind kind = TrackKind::Other;
  Rational editRate;
  std::int64_t duration = -1;  // in edit units, -1 when not given
  PictureDescriptor picture;
  SoundDescriptor sound;
};

// The parts of the header metadata the reader needs.
struct PackageFacts {
  bool hasMaterialPackage = false;
  Umid materialPackage{};
  bool hasFilePackage = false;
  Umid filePackage{};
  std::vector<EssenceTrack> tracks;  // of the file package, in its own order
  std::uint32_t bodySid = 0;         // of the file package's essence container; 0: not said
  std::uint32_t indexSid = 0;
  Key operationalPattern{};
};

// Reads the header metadata that lies in [start, end) of `source`: the primer pack and the
// metadata sets. Damaged sets are passed over with a warning; throws MediaError only when the
// metadata cannot be read at all.
PackageFacts ReadHeaderMetadata(ByteSource& source, std::uint64_t start, std::uint64_t end,
                                std::vector<std::string>& warnings);

// "OP1a", "OP-Atom", or "operational pattern 06 0e ...".
std::string OperationalPatternName(const Key& label);

std::string UmidText(const Umid& umid);  // 64 hexadecimal digits

}  // namespace halvaris::media::mxf
