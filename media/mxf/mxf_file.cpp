#include "mxf/mxf_file.h"

#include <algorithm>
#include <cstring>

#include "media_error.h"

namespace halvaris::media::mxf {

namespace {

// A run-in before the header partition is shorter than this.
constexpr std::size_t kMaxRunIn = 65536;
// Partition pack: versions, KAG size, this, previous and footer partition, header and index byte
// counts, index SID, body offset, body SID and the operational pattern.
constexpr std::size_t kPartitionPackBytes = 88;

constexpr std::uint8_t kHeaderPartitionPrefix[14] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x05, 0x01,
                                                     0x01, 0x0d, 0x01, 0x02, 0x01, 0x01, 0x02};

std::uint64_t Big(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

bool IsHeaderPartitionAt(const std::uint8_t* data) {
  for (int i = 0; i < 14; ++i) {
    if (i != 7 && data[i] != kHeaderPartitionPrefix[i]) return false;
  }
  return true;
}

std::string At(std::uint64_t offset) {
  return " at byte " + std::to_string(offset);
}

}  // namespace

bool LooksLikeMxf(const std::uint8_t* data, std::size_t bytes) {
  const std::size_t searched = std::min(bytes, kMaxRunIn);
  for (std::size_t i = 0; i + 16 <= searched; ++i) {
    if (data[i] == 0x06 && IsHeaderPartitionAt(data + i)) return true;
  }
  return false;
}

MxfFile::MxfFile(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {
  const std::uint64_t headerOffset = FindHeaderPartition();
  runIn_ = headerOffset;
  Partition header;
  if (!ReadPartitionPack(headerOffset, header)) {
    throw MediaError(Name() + ": the MXF header partition pack is cut short or damaged");
  }

  std::vector<std::uint64_t> offsets;
  if (!PartitionsFromRandomIndex(offsets) && !PartitionsFromChain(header, offsets)) {
    offsets = PartitionsByWalking(headerOffset);
  }
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  for (std::uint64_t offset : offsets) {
    Partition partition;
    if (ReadPartitionPack(offset, partition)) partitions_.push_back(partition);
  }
  if (partitions_.empty() || partitions_.front().offset != headerOffset) {
    partitions_.insert(partitions_.begin(), header);
  }
  for (std::size_t i = 0; i < partitions_.size(); ++i) {
    partitions_[i].end = i + 1 < partitions_.size() ? partitions_[i + 1].offset : source_->Size();
  }

  std::vector<IndexSegment> segments;
  for (Partition& partition : partitions_) ScanPartitionStart(partition, segments);

  // The last closed partition that repeats the header metadata has its final state; an open
  // header partition may have been written before the durations were known.
  const Partition* described = nullptr;
  for (const Partition& partition : partitions_) {
    if (partition.headerMetadataEnd <= partition.headerMetadataStart) continue;
    if (described == nullptr || partition.closed) described = &partition;
  }
  if (described == nullptr) {
    throw MediaError(Name() + ": the MXF file has no header metadata; it is damaged");
  }
  packages_ = ReadHeaderMetadata(*source_, described->headerMetadataStart,
                                 described->headerMetadataEnd, warnings_);

  std::uint32_t bodySid = packages_.bodySid;
  if (bodySid == 0) {
    for (const Partition& partition : partitions_) {
      if (partition.bodySid != 0) {
        bodySid = partition.bodySid;
        break;
      }
    }
  }
  std::uint32_t indexSid = packages_.indexSid;
  for (IndexSegment& segment : segments) {
    const bool ours = indexSid != 0 ? segment.indexSid == indexSid
                                    : segment.bodySid == bodySid || segment.bodySid == 0;
    if (ours) index_.Add(std::move(segment));
  }

  // The essence stream of the container, partition by partition. The body offsets of the
  // partition packs place each run in the stream; where they do not follow on, the runs are
  // taken as back to back.
  std::uint64_t stream = 0;
  bool offsetsTrusted = true;
  for (const Partition& partition : partitions_) {
    if (partition.bodySid != bodySid || bodySid == 0) continue;
    if (partition.essenceStart >= partition.end) continue;
    if (partition.bodyOffset != stream) offsetsTrusted = false;
    essence_.push_back({stream, partition.essenceStart, partition.end});
    stream += partition.end - partition.essenceStart;
  }
  if (!offsetsTrusted && essence_.size() > 1) {
    warnings_.push_back(
        "the partitions' body offsets do not follow the essence; they were taken as back to back");
  }
}

std::uint64_t MxfFile::FindHeaderPartition() {
  std::vector<std::uint8_t> head(kMaxRunIn + 16);
  head.resize(source_->ReadAt(0, head.data(), head.size()));
  for (std::size_t i = 0; i + 16 <= head.size(); ++i) {
    if (head[i] == 0x06 && IsHeaderPartitionAt(head.data() + i)) return i;
  }
  throw MediaError(Name() + " is not an MXF file: it has no header partition pack");
}

bool MxfFile::ReadPartitionPack(std::uint64_t offset, Partition& partition) {
  Klv klv;
  PartitionKind kind;
  if (ReadKlv(*source_, offset, klv) != KlvResult::Read || !IsPartitionPack(klv.key, &kind) ||
      klv.length < kPartitionPackBytes || klv.End() > source_->Size())
    return false;
  std::uint8_t pack[kPartitionPackBytes];
  if (!source_->ReadExactly(klv.valueOffset, pack, sizeof pack)) return false;
  partition.kind = kind;
  // Status byte: 1 open incomplete, 2 closed incomplete, 3 open complete, 4 closed complete.
  partition.closed = klv.key[14] == 0x02 || klv.key[14] == 0x04;
  partition.offset = offset;
  partition.contentStart = klv.End();
  partition.indexSid = static_cast<std::uint32_t>(Big(pack + 48, 4));
  partition.bodyOffset = Big(pack + 52, 8);
  partition.bodySid = static_cast<std::uint32_t>(Big(pack + 60, 4));
  return true;
}

bool MxfFile::PartitionsFromRandomIndex(std::vector<std::uint64_t>& offsets) {
  const std::uint64_t size = source_->Size();
  std::uint8_t tail[4];
  if (size < 4 || !source_->ReadExactly(size - 4, tail, 4)) return false;
  const std::uint64_t packBytes = Big(tail, 4);
  if (packBytes < 21 || packBytes > size - runIn_) return false;
  Klv klv;
  if (ReadKlv(*source_, size - packBytes, klv) != KlvResult::Read || !IsRandomIndexPack(klv.key) ||
      klv.End() != size || klv.length < 4)
    return false;
  const std::uint64_t count = (klv.length - 4) / 12;
  std::vector<std::uint8_t> entries(static_cast<std::size_t>(count * 12));
  if (!source_->ReadExactly(klv.valueOffset, entries.data(), entries.size())) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t offset = runIn_ + Big(&entries[static_cast<std::size_t>(i) * 12 + 4], 8);
    Partition partition;
    if (!ReadPartitionPack(offset, partition)) {
      warnings_.push_back("the random index pack names a partition" + At(offset) +
                          " that is not there; the file's partitions were found by walking it");
      return false;
    }
    offsets.push_back(offset);
  }
  return !offsets.empty();
}

bool MxfFile::PartitionsFromChain(const Partition& header, std::vector<std::uint64_t>& offsets) {
  // The footer partition's offset, then each partition's previous one back to the header.
  std::uint8_t pack[kPartitionPackBytes];
  Klv klv;
  if (ReadKlv(*source_, header.offset, klv) != KlvResult::Read ||
      !source_->ReadExactly(klv.valueOffset, pack, sizeof pack))
    return false;
  std::uint64_t footer = Big(pack + 24, 8);
  if (footer == 0) return false;
  std::uint64_t offset = runIn_ + footer;
  std::vector<std::uint64_t> found;
  while (true) {
    Partition partition;
    if (offset >= source_->Size() || !ReadPartitionPack(offset, partition)) return false;
    found.push_back(offset);
    if (offset == header.offset) break;
    if (ReadKlv(*source_, offset, klv) != KlvResult::Read ||
        !source_->ReadExactly(klv.valueOffset, pack, sizeof pack))
      return false;
    const std::uint64_t previous = runIn_ + Big(pack + 16, 8);
    if (previous >= offset) return false;  // a chain must go backwards
    offset = previous;
  }
  offsets = found;
  return true;
}

std::vector<std::uint64_t> MxfFile::PartitionsByWalking(std::uint64_t headerOffset) {
  std::vector<std::uint64_t> offsets;
  std::uint64_t offset = headerOffset;
  while (true) {
    Klv klv;
    const KlvResult result = ReadKlv(*source_, offset, klv);
    if (result != KlvResult::Read) {
      if (result == KlvResult::Damaged)
        warnings_.push_back("a damaged KLV" + At(offset) + " ends the file's readable part");
      break;
    }
    if (IsPartitionPack(klv.key)) offsets.push_back(offset);
    if (klv.End() > source_->Size()) break;
    offset = klv.End();
  }
  return offsets;
}

void MxfFile::ScanPartitionStart(Partition& partition, std::vector<IndexSegment>& segments) {
  // After the pack come, in order, fill, the header metadata (primer pack and sets), index table
  // segments, then the essence.
  std::uint64_t offset = partition.contentStart;
  partition.headerMetadataStart = partition.headerMetadataEnd = offset;
  bool inHeaderMetadata = false;
  while (offset < partition.end) {
    Klv klv;
    if (ReadKlv(*source_, offset, klv) != KlvResult::Read || klv.End() > partition.end ||
        klv.End() < klv.valueOffset)
      break;
    if (IsPrimerPack(klv.key)) {
      partition.headerMetadataStart = offset;
      inHeaderMetadata = true;
    } else if (IsMetadataSet(klv.key) || (IsFill(klv.key) && inHeaderMetadata)) {
      // Fill inside the header metadata belongs to it.
    } else if (IsIndexTableSegment(klv.key)) {
      inHeaderMetadata = false;
      IndexSegment segment;
      if (ReadIndexSegment(*source_, klv, segment, warnings_)) segments.push_back(segment);
    } else if (!IsFill(klv.key)) {
      break;
    }
    if (inHeaderMetadata) partition.headerMetadataEnd = klv.End();
    offset = klv.End();
  }
  partition.essenceStart = offset;
}

std::uint64_t MxfFile::EssenceStreamBytes() const {
  return essence_.empty()
             ? 0
             : essence_.back().streamOffset + essence_.back().fileEnd - essence_.back().fileStart;
}

bool MxfFile::FileOffsetOf(std::uint64_t streamOffset, std::uint64_t& fileOffset) const {
  for (const EssenceRun& run : essence_) {
    if (streamOffset >= run.streamOffset &&
        streamOffset - run.streamOffset < run.fileEnd - run.fileStart) {
      fileOffset = run.fileStart + (streamOffset - run.streamOffset);
      return true;
    }
  }
  return false;
}

std::uint64_t MxfFile::EssenceRunEnd(std::uint64_t fileOffset) const {
  for (const EssenceRun& run : essence_) {
    if (fileOffset >= run.fileStart && fileOffset < run.fileEnd) return run.fileEnd;
  }
  return fileOffset;
}

void MxfFile::WalkEssence(const std::function<bool(const Klv&)>& visit) {
  for (const EssenceRun& run : essence_) {
    std::uint64_t offset = run.fileStart;
    while (offset < run.fileEnd) {
      Klv klv;
      const KlvResult result = ReadKlv(*source_, offset, klv);
      if (result == KlvResult::End) return;
      if (result == KlvResult::Damaged || !IsSmpteLabel(klv.key)) {
        warnings_.push_back("the essence has a damaged KLV" + At(offset) +
                            "; nothing after it in its partition was read");
        break;
      }
      if (!visit(klv)) return;
      if (klv.End() > source_->Size() || klv.End() < klv.valueOffset) return;  // cut short
      offset = klv.End();
    }
  }
}

}  // namespace halvaris::media::mxf
