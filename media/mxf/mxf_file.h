#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mxf/byte_source.h"
#include "mxf/header_metadata.h"
#include "mxf/index_table.h"
#include "mxf/klv.h"

namespace halvaris::media::mxf {

// True when `data` begins with an MXF header partition pack, possibly after a run-in.
bool LooksLikeMxf(const std::uint8_t* data, std::size_t bytes);

// The structure of one MXF file: its partitions, the header metadata, the index table of its
// essence container and where the essence stream lies in the file. Frames and sound are found
// by DvTrack and MxfSoundTrack on top of it.
class MxfFile {
 public:
  // Reads the partitions (through the random index pack or the partition chain where they are
  // sound, else by walking the file's top-level KLVs), the header metadata and the index table
  // segments. Throws MediaError, in one line, when the file is not MXF or has no usable header.
  explicit MxfFile(std::unique_ptr<ByteSource> source);

  ByteSource& Source() { return *source_; }
  const std::string& Name() const { return source_->Name(); }
  const PackageFacts& Packages() const { return packages_; }
  std::string OperationalPattern() const {
    return OperationalPatternName(packages_.operationalPattern);
  }

  // Index segments of the file package's essence container.
  const IndexTable& Index() const { return index_; }

  // Bytes of the essence stream present in the file.
  std::uint64_t EssenceStreamBytes() const;

  // The file offset of `streamOffset` of the essence stream; false when it lies outside it.
  bool FileOffsetOf(std::uint64_t streamOffset, std::uint64_t& fileOffset) const;

  // The end of the essence run (the part of a partition) that holds `fileOffset`.
  std::uint64_t EssenceRunEnd(std::uint64_t fileOffset) const;

  // Calls `visit` for each KLV of the essence stream in file order until it returns false. A KLV
  // that is damaged or runs past the end of the file ends the walk with a warning.
  void WalkEssence(const std::function<bool(const Klv&)>& visit);

  // Things the user should know: damage that was passed over.
  std::vector<std::string>& Warnings() { return warnings_; }

 private:
  struct Partition {
    PartitionKind kind = PartitionKind::Body;
    bool closed = false;
    std::uint64_t offset = 0;
    std::uint64_t contentStart = 0;  // first byte after the pack
    std::uint64_t end = 0;           // the next partition, or the end of the file
    std::uint32_t bodySid = 0;
    std::uint32_t indexSid = 0;
    std::uint64_t bodyOffset = 0;
    std::uint64_t headerMetadataStart = 0;
    std::uint64_t headerMetadataEnd = 0;  // equal to the start when there is none
    std::uint64_t essenceStart = 0;
  };
  struct EssenceRun {
    std::uint64_t streamOffset;
    std::uint64_t fileStart;
    std::uint64_t fileEnd;
  };

  std::uint64_t FindHeaderPartition();
  bool ReadPartitionPack(std::uint64_t offset, Partition& partition);
  bool PartitionsFromRandomIndex(std::vector<std::uint64_t>& offsets);
  bool PartitionsFromChain(const Partition& header, std::vector<std::uint64_t>& offsets);
  std::vector<std::uint64_t> PartitionsByWalking(std::uint64_t headerOffset);
  void ScanPartitionStart(Partition& partition, std::vector<IndexSegment>& segments);

  std::unique_ptr<ByteSource> source_;
  std::uint64_t runIn_ = 0;
  std::vector<Partition> partitions_;
  PackageFacts packages_;
  IndexTable index_;
  std::vector<EssenceRun> essence_;
  std::vector<std::string> warnings_;
};

}  // namespace halvaris::media::mxf
