#include "mxf/header_metadata.h"

#include <algorithm>
#include <map>

#include "media_error.h"

namespace halvaris::media::mxf {

namespace {

// Header metadata holds descriptions only; more than this is a damaged length, not metadata.
constexpr std::uint64_t kMaxHeaderMetadataBytes = 64u * 1024u * 1024u;
// The descriptions kept from it: a file describes a few packages and tracks in some kilobytes.
constexpr std::uint64_t kMaxKeptMetadataBytes = 16u * 1024u * 1024u;

using Uid = std::array<std::uint8_t, 16>;

// Local tags of the properties read here (fixed tags of the file format's sets).
enum Tag : std::uint16_t {
  kInstanceUid = 0x3c0a,
  kOperationalPattern = 0x3b09,
  kPackageUid = 0x4401,
  kTracks = 0x4403,
  kDescriptor = 0x4701,
  kTrackId = 0x4801,
  kTrackNumber = 0x4804,
  kEditRate = 0x4b01,
  kTrackSequence = 0x4803,
  kDataDefinition = 0x0201,
  kDuration = 0x0202,
  kSubDescriptors = 0x3f01,
  kLinkedTrackId = 0x3006,
  kSampleRate = 0x3001,
  kEssenceContainer = 0x3004,
  kFrameLayout = 0x320c,
  kStoredWidth = 0x3203,
  kStoredHeight = 0x3202,
  kDisplayWidth = 0x3209,
  kDisplayHeight = 0x3208,
  kAspectRatio = 0x320e,
  kAudioSamplingRate = 0x3d03,
  kChannelCount = 0x3d07,
  kQuantizationBits = 0x3d01,
  kBlockAlign = 0x3d0a,
  kLinkedPackageUid = 0x2701,
  kIndexSid = 0x3f06,
  kBodySid = 0x3f07,
};

// Set classes: bytes 14 and 15 of a metadata set's key.
enum SetClass : std::uint16_t {
  kPrefaceSet = 0x2f00,
  kMaterialPackageSet = 0x3600,
  kSourcePackageSet = 0x3700,
  kTrackSet = 0x3b00,
  kStaticTrackSet = 0x3a00,
  kSequenceSet = 0x0f00,
  kEssenceContainerDataSet = 0x2300,
  kMultipleDescriptorSet = 0x4400,
  kGenericPictureSet = 0x2700,
  kCdciSet = 0x2800,
  kRgbaSet = 0x2900,
  kGenericSoundSet = 0x4200,
  kWaveSet = 0x4800,
  kAes3Set = 0x4700,
};

struct Property {
  std::size_t offset;
  std::size_t length;
};

struct MetadataSet {
  std::uint16_t setClass = 0;
  std::vector<std::uint8_t> value;
  std::map<std::uint16_t, Property> properties;

  const std::uint8_t* Find(std::uint16_t tag, std::size_t minimumLength) const {
    auto found = properties.find(tag);
    if (found == properties.end() || found->second.length < minimumLength) return nullptr;
    return value.data() + found->second.offset;
  }
  std::size_t Length(std::uint16_t tag) const {
    auto found = properties.find(tag);
    return found == properties.end() ? 0 : found->second.length;
  }
};

std::uint64_t Big(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

class SetLibrary {
 public:
  void Add(MetadataSet set, std::vector<std::string>& warnings) {
    const std::uint8_t* uid = set.Find(kInstanceUid, 16);
    if (uid == nullptr) {
      warnings.push_back("a header metadata set without an instance identifier was passed over");
      return;
    }
    Uid key;
    std::copy(uid, uid + 16, key.begin());
    // What a set holds beside its kept bytes: its map node and its properties' nodes.
    bytes_ += set.value.size() + 128 + 64 * set.properties.size();
    sets_[key] = std::move(set);
  }

  // Roughly the memory the sets take.
  std::uint64_t Bytes() const { return bytes_; }

  const MetadataSet* ByUid(const std::uint8_t* uid) const {
    if (uid == nullptr) return nullptr;
    Uid key;
    std::copy(uid, uid + 16, key.begin());
    auto found = sets_.find(key);
    return found == sets_.end() ? nullptr : &found->second;
  }

  std::vector<const MetadataSet*> OfClass(std::uint16_t setClass) const {
    std::vector<const MetadataSet*> found;
    for (const auto& entry : sets_) {
      if (entry.second.setClass == setClass) found.push_back(&entry.second);
    }
    return found;
  }

  // The sets named by a batch of strong references (count, item size, items).
  std::vector<const MetadataSet*> Batch(const MetadataSet& set, std::uint16_t tag) const {
    std::vector<const MetadataSet*> found;
    const std::uint8_t* batch = set.Find(tag, 8);
    if (batch == nullptr) return found;
    const std::uint64_t count = Big(batch, 4);
    const std::uint64_t itemBytes = Big(batch + 4, 4);
    if (itemBytes < 16) return found;
    const std::uint64_t room = (set.Length(tag) - 8) / itemBytes;
    for (std::uint64_t i = 0; i < std::min<std::uint64_t>(count, room); ++i) {
      if (const MetadataSet* item = ByUid(batch + 8 + i * itemBytes)) found.push_back(item);
    }
    return found;
  }

 private:
  std::map<Uid, MetadataSet> sets_;
  std::uint64_t bytes_ = 0;
};

// The properties read from the sets; others are not kept.
bool IsReadTag(std::uint16_t tag) {
  switch (tag) {
    case kInstanceUid:
    case kOperationalPattern:
    case kPackageUid:
    case kTracks:
    case kDescriptor:
    case kTrackId:
    case kTrackNumber:
    case kEditRate:
    case kTrackSequence:
    case kDataDefinition:
    case kDuration:
    case kSubDescriptors:
    case kLinkedTrackId:
    case kSampleRate:
    case kEssenceContainer:
    case kFrameLayout:
    case kStoredWidth:
    case kStoredHeight:
    case kDisplayWidth:
    case kDisplayHeight:
    case kAspectRatio:
    case kAudioSamplingRate:
    case kChannelCount:
    case kQuantizationBits:
    case kBlockAlign:
    case kLinkedPackageUid:
    case kIndexSid:
    case kBodySid:
      return true;
    default:
      return false;
  }
}

// The sets whose properties are read; others (timecode, identification, ...) are checked but not
// kept.
bool IsReadSetClass(std::uint16_t setClass) {
  switch (setClass) {
    case kPrefaceSet:
    case kMaterialPackageSet:
    case kSourcePackageSet:
    case kTrackSet:
    case kStaticTrackSet:
    case kSequenceSet:
    case kEssenceContainerDataSet:
    case kMultipleDescriptorSet:
    case kGenericPictureSet:
    case kCdciSet:
    case kRgbaSet:
    case kGenericSoundSet:
    case kWaveSet:
    case kAes3Set:
      return true;
    default:
      return false;
  }
}

// Keeps the properties that are read, and their bytes only, so that a set is the size of what is
// read from it whatever else it is stuffed with.
MetadataSet ParseSet(const Klv& klv, const std::vector<std::uint8_t>& value,
                     std::vector<std::string>& warnings) {
  MetadataSet set;
  set.setClass = static_cast<std::uint16_t>(klv.key[14] << 8 | klv.key[15]);
  std::size_t offset = 0;
  while (value.size() - offset >= 4) {
    const auto tag = static_cast<std::uint16_t>(Big(value.data() + offset, 2));
    const auto length = static_cast<std::size_t>(Big(value.data() + offset + 2, 2));
    if (length > value.size() - offset - 4) {
      warnings.push_back("a header metadata set at byte " + std::to_string(klv.offset) +
                         " has a property running past its end; the rest of it was passed over");
      break;
    }
    if (IsReadTag(tag)) set.properties[tag] = Property{offset + 4, length};
    offset += 4 + length;
  }
  for (auto& entry : set.properties) {
    Property& property = entry.second;
    const auto from = value.begin() + static_cast<std::ptrdiff_t>(property.offset);
    property.offset = set.value.size();
    set.value.insert(set.value.end(), from, from + static_cast<std::ptrdiff_t>(property.length));
  }
  return set;
}

Rational RationalOf(const MetadataSet& set, std::uint16_t tag) {
  Rational rational;
  if (const std::uint8_t* p = set.Find(tag, 8)) {
    rational.numerator = static_cast<std::int32_t>(Big(p, 4));
    rational.denominator = static_cast<std::int32_t>(Big(p + 4, 4));
  }
  return rational;
}

int IntOf(const MetadataSet& set, std::uint16_t tag, int fallback) {
  const std::size_t length = set.Length(tag);
  if (length != 1 && length != 2 && length != 4) return fallback;
  const std::uint64_t value = Big(set.Find(tag, length), static_cast<int>(length));
  return value > 0x7fffffff ? fallback : static_cast<int>(value);
}

bool IsPictureDescriptor(std::uint16_t setClass) {
  return setClass == kGenericPictureSet || setClass == kCdciSet || setClass == kRgbaSet;
}

bool IsSoundDescriptor(std::uint16_t setClass) {
  return setClass == kGenericSoundSet || setClass == kWaveSet || setClass == kAes3Set;
}

void ApplyDescriptor(const MetadataSet& descriptor, EssenceTrack& track) {
  if (IsPictureDescriptor(descriptor.setClass)) {
    PictureDescriptor& picture = track.picture;
    picture.present = true;
    picture.storedWidth = IntOf(descriptor, kStoredWidth, 0);
    picture.storedHeight = IntOf(descriptor, kStoredHeight, 0);
    picture.displayWidth = IntOf(descriptor, kDisplayWidth, 0);
    picture.displayHeight = IntOf(descriptor, kDisplayHeight, 0);
    picture.frameLayout = IntOf(descriptor, kFrameLayout, -1);
    picture.aspectRatio = RationalOf(descriptor, kAspectRatio);
    picture.sampleRate = RationalOf(descriptor, kSampleRate);
    if (const std::uint8_t* label = descriptor.Find(kEssenceContainer, 16)) {
      std::copy(label, label + 16, picture.essenceContainer.begin());
    }
    if (track.kind == TrackKind::Other) track.kind = TrackKind::Picture;
  } else if (IsSoundDescriptor(descriptor.setClass)) {
    SoundDescriptor& sound = track.sound;
    sound.present = true;
    sound.channels = IntOf(descriptor, kChannelCount, 0);
    sound.bitsPerSample = IntOf(descriptor, kQuantizationBits, 0);
    sound.blockAlign = IntOf(descriptor, kBlockAlign, 0);
    sound.samplingRate = RationalOf(descriptor, kAudioSamplingRate);
    if (track.kind == TrackKind::Other) track.kind = TrackKind::Sound;
  }
}

TrackKind KindOfDataDefinition(const std::uint8_t* label) {
  // 06 0E 2B 34 04 01 01 vv 01 03 02 02 01 (picture) or 02 (sound).
  static constexpr std::uint8_t kPrefix[12] = {0x06, 0x0e, 0x2b, 0x34, 0x04, 0x01,
                                               0x01, 0x01, 0x01, 0x03, 0x02, 0x02};
  if (label == nullptr) return TrackKind::Other;
  for (int i = 0; i < 12; ++i) {
    if (i != 7 && label[i] != kPrefix[i]) return TrackKind::Other;
  }
  if (label[12] == 0x01) return TrackKind::Picture;
  if (label[12] == 0x02) return TrackKind::Sound;
  return TrackKind::Other;
}

void ReadFilePackage(const SetLibrary& library, const MetadataSet& package, PackageFacts& facts) {
  facts.hasFilePackage = true;
  const std::uint8_t* umid = package.Find(kPackageUid, 32);
  std::copy(umid, umid + 32, facts.filePackage.begin());
  for (const MetadataSet* trackSet : library.Batch(package, kTracks)) {
    if (trackSet->setClass != kTrackSet) continue;  // timecode and static tracks hold no essence
    EssenceTrack track;
    track.trackId = static_cast<std::uint32_t>(IntOf(*trackSet, kTrackId, 0));
    if (const std::uint8_t* number = trackSet->Find(kTrackNumber, 4))
      track.trackNumber = static_cast<std::uint32_t>(Big(number, 4));
    track.editRate = RationalOf(*trackSet, kEditRate);
    if (const MetadataSet* sequence = library.ByUid(trackSet->Find(kTrackSequence, 16))) {
      track.kind = KindOfDataDefinition(sequence->Find(kDataDefinition, 16));
      if (const std::uint8_t* duration = sequence->Find(kDuration, 8))
        track.duration = static_cast<std::int64_t>(Big(duration, 8));
    }
    facts.tracks.push_back(track);
  }

  // One descriptor for the package's only track, or a multiple descriptor whose parts name
  // their tracks.
  const MetadataSet* descriptor = library.ByUid(package.Find(kDescriptor, 16));
  if (descriptor == nullptr) return;
  if (descriptor->setClass == kMultipleDescriptorSet) {
    for (const MetadataSet* part : library.Batch(*descriptor, kSubDescriptors)) {
      const int linked = IntOf(*part, kLinkedTrackId, 0);
      for (EssenceTrack& track : facts.tracks) {
        if (linked != 0 && track.trackId == static_cast<std::uint32_t>(linked))
          ApplyDescriptor(*part, track);
      }
    }
    return;
  }
  const int linked = IntOf(*descriptor, kLinkedTrackId, 0);
  for (EssenceTrack& track : facts.tracks) {
    const bool named = linked != 0 && track.trackId == static_cast<std::uint32_t>(linked);
    if (named || (linked == 0 && facts.tracks.size() == 1)) ApplyDescriptor(*descriptor, track);
  }
  // Without a link, the descriptor belongs to the one track of its kind.
  if (linked == 0 && facts.tracks.size() > 1) {
    const TrackKind kind = IsPictureDescriptor(descriptor->setClass) ? TrackKind::Picture
                           : IsSoundDescriptor(descriptor->setClass) ? TrackKind::Sound
                                                                     : TrackKind::Other;
    const auto count = std::count_if(facts.tracks.begin(), facts.tracks.end(),
                                     [&](const EssenceTrack& t) { return t.kind == kind; });
    for (EssenceTrack& track : facts.tracks) {
      if (count == 1 && track.kind == kind) ApplyDescriptor(*descriptor, track);
    }
  }
}

bool HasFileDescriptor(const SetLibrary& library, const MetadataSet& package) {
  const MetadataSet* descriptor = library.ByUid(package.Find(kDescriptor, 16));
  if (descriptor == nullptr) return false;
  return descriptor->setClass == kMultipleDescriptorSet ||
         IsPictureDescriptor(descriptor->setClass) || IsSoundDescriptor(descriptor->setClass);
}

}  // namespace

PackageFacts ReadHeaderMetadata(ByteSource& source, std::uint64_t start, std::uint64_t end,
                                std::vector<std::string>& warnings) {
  end = std::min(end, source.Size());
  if (end > start && end - start > kMaxHeaderMetadataBytes) {
    throw MediaError(source.Name() + ": the header metadata claims " + std::to_string(end - start) +
                     " bytes, more than any description needs; the file is damaged");
  }
  SetLibrary library;
  std::vector<std::uint8_t> value;
  std::uint64_t offset = start;
  while (offset < end) {
    Klv klv;
    const KlvResult result = ReadKlv(source, offset, klv);
    if (result != KlvResult::Read) break;
    if (klv.End() > end || klv.End() < klv.valueOffset) {
      warnings.push_back("the header metadata item at byte " + std::to_string(offset) +
                         " runs past the end of the header metadata; the rest was passed over");
      break;
    }
    if (IsMetadataSet(klv.key)) {
      value.resize(static_cast<std::size_t>(klv.length));
      if (!source.ReadExactly(klv.valueOffset, value.data(), value.size())) break;
      MetadataSet set = ParseSet(klv, value, warnings);
      if (IsReadSetClass(set.setClass)) library.Add(std::move(set), warnings);
      if (library.Bytes() > kMaxKeptMetadataBytes) {
        warnings.push_back(
            "the header metadata holds more descriptions than any file needs; "
            "those after byte " +
            std::to_string(klv.End()) + " were passed over");
        break;
      }
    }
    offset = klv.End();
  }

  PackageFacts facts;
  for (const MetadataSet* preface : library.OfClass(kPrefaceSet)) {
    if (const std::uint8_t* label = preface->Find(kOperationalPattern, 16))
      std::copy(label, label + 16, facts.operationalPattern.begin());
  }
  const auto materials = library.OfClass(kMaterialPackageSet);
  if (!materials.empty()) {
    if (const std::uint8_t* umid = materials.front()->Find(kPackageUid, 32)) {
      facts.hasMaterialPackage = true;
      std::copy(umid, umid + 32, facts.materialPackage.begin());
    }
  }

  // The file package is the one the essence container data names; failing that, the first
  // source package that describes essence (not a tape or an imported source).
  const MetadataSet* filePackage = nullptr;
  const MetadataSet* firstDescribed = nullptr;
  const auto containers = library.OfClass(kEssenceContainerDataSet);
  for (const MetadataSet* package : library.OfClass(kSourcePackageSet)) {
    const std::uint8_t* umid = package->Find(kPackageUid, 32);
    if (umid == nullptr || !HasFileDescriptor(library, *package)) continue;
    if (firstDescribed == nullptr) firstDescribed = package;
    for (const MetadataSet* container : containers) {
      const std::uint8_t* linked = container->Find(kLinkedPackageUid, 32);
      if (filePackage == nullptr && linked != nullptr && std::equal(umid, umid + 32, linked)) {
        filePackage = package;
        facts.bodySid = static_cast<std::uint32_t>(IntOf(*container, kBodySid, 0));
        facts.indexSid = static_cast<std::uint32_t>(IntOf(*container, kIndexSid, 0));
      }
    }
  }
  if (filePackage == nullptr) filePackage = firstDescribed;
  if (filePackage != nullptr) ReadFilePackage(library, *filePackage, facts);
  return facts;
}

std::string OperationalPatternName(const Key& label) {
  // 06 0E 2B 34 04 01 01 vv 0D 01 02 01 01 01 ... (OP1a) or ... 10 ... (OP-Atom).
  static constexpr std::uint8_t kPrefix[12] = {0x06, 0x0e, 0x2b, 0x34, 0x04, 0x01,
                                               0x01, 0x01, 0x0d, 0x01, 0x02, 0x01};
  bool operationalPattern = true;
  for (int i = 0; i < 12; ++i) {
    if (i != 7 && label[i] != kPrefix[i]) operationalPattern = false;
  }
  if (operationalPattern && label[12] == 0x10) return "OP-Atom";
  if (operationalPattern && label[12] >= 1 && label[12] <= 3 && label[13] >= 1 && label[13] <= 3) {
    return std::string("OP") + static_cast<char>('0' + label[12]) +
           static_cast<char>('a' + label[13] - 1);
  }
  return "operational pattern " + KeyText(label);
}

std::string UmidText(const Umid& umid) {
  return HexText(umid.data(), umid.size());
}

}  // namespace halvaris::media::mxf
