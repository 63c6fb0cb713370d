#include "audio/wav_writer.h"

#include <vector>

#include "output_file.h"
#include "tool_error.h"

namespace halvaris::decode_tool::audio {

namespace {

// ds64 contents: RIFF size, data size and sample count (64 bits each), then a table length of 0.
constexpr std::uint32_t kDs64Bytes = 28;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

void Put64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  Put32(out, static_cast<std::uint32_t>(value));
  Put32(out, static_cast<std::uint32_t>(value >> 32));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}

// `text` in a field of `bytes` bytes, cut to fit and padded with zero bytes.
void PutText(std::vector<std::uint8_t>& out, const std::string& text, std::size_t bytes) {
  const std::size_t kept = text.size() < bytes ? text.size() : bytes;
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(kept));
  out.resize(out.size() + bytes - kept, 0);
}

// The bext chunk of EBU Tech 3285, version 1: description, originator and its reference, the
// origination date and time, the time reference, the version, the UMID and the reserved bytes,
// with no coding history.
constexpr std::uint32_t kBroadcastChunkBytes = 256 + 32 + 32 + 10 + 8 + 8 + 2 + 64 + 190;

void PutBroadcastChunk(std::vector<std::uint8_t>& out, const BroadcastWaveOrigin& origin) {
  PutTag(out, "bext");
  Put32(out, kBroadcastChunkBytes);
  const std::size_t start = out.size();
  PutText(out, "", 256);
  PutText(out, "Halvaris", 32);
  PutText(out, "", 32);
  PutText(out, origin.originationDate, 10);
  PutText(out, origin.originationTime, 8);
  Put64(out, origin.timeReference);
  Put16(out, 1);
  out.resize(start + kBroadcastChunkBytes, 0);  // UMID and reserved bytes
}

}  // namespace

WavWriter::WavWriter(OutputFile& file, const PcmFormat& format, std::uint64_t riffLimit,
                     const BroadcastWaveOrigin* origin)
    : file_(file), format_(format), riffLimit_(riffLimit) {
  if ((format.bitsPerSample != 16 && format.bitsPerSample != 24) || format.channels < 1 ||
      format.channels > 64 || format.sampleRate <= 0) {
    throw ToolError("sound of " + std::to_string(format.channels) + " channels of " +
                    std::to_string(format.bitsPerSample) + " bits cannot be written as WAV");
  }
  // More than two channels or more than 16 bits take the extensible format, which readers need
  // to know the sample size; the channel mask 0 leaves the channels in the source's order.
  const bool extensible = format.channels > 2 || format.bitsPerSample > 16;
  formatChunkBytes_ = extensible ? 40 : 16;
  const auto blockAlign = static_cast<std::uint32_t>(format.BytesPerFrame());
  std::vector<std::uint8_t> header;
  PutTag(header, "RIFF");
  Put32(header, 0xffffffffu);
  PutTag(header, "WAVE");
  PutTag(header, "JUNK");
  Put32(header, kDs64Bytes);
  header.resize(header.size() + kDs64Bytes, 0);
  PutTag(header, "fmt ");
  Put32(header, formatChunkBytes_);
  Put16(header, extensible ? 0xfffe : 1);
  Put16(header, static_cast<std::uint32_t>(format.channels));
  Put32(header, static_cast<std::uint32_t>(format.sampleRate));
  Put32(header, static_cast<std::uint32_t>(format.sampleRate) * blockAlign);
  Put16(header, blockAlign);
  Put16(header, static_cast<std::uint32_t>(format.bitsPerSample));
  if (extensible) {
    Put16(header, 22);
    Put16(header, static_cast<std::uint32_t>(format.bitsPerSample));  // valid bits
    Put32(header, 0);                                                 // channel mask
    // KSDATAFORMAT_SUBTYPE_PCM: 00000001-0000-0010-8000-00aa00389b71.
    static const std::uint8_t kPcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                          0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
    header.insert(header.end(), kPcm, kPcm + 16);
  }
  if (origin != nullptr) {
    PutBroadcastChunk(header, *origin);
    broadcastChunkBytes_ = kBroadcastChunkBytes;
  }
  PutTag(header, "data");
  dataSizeOffset_ = header.size();
  Put32(header, 0xffffffffu);
  file_.Write(header.data(), header.size());
}

void WavWriter::Write(const std::uint8_t* samples, std::size_t sampleFrames) {
  file_.Write(samples, sampleFrames * static_cast<std::size_t>(format_.BytesPerFrame()));
  sampleFrames_ += sampleFrames;
}

void WavWriter::Finish() {
  const std::uint64_t dataBytes =
      sampleFrames_ * static_cast<std::uint64_t>(format_.BytesPerFrame());
  // Chunks have an even size: an odd data chunk (24-bit mono) is followed by a pad byte.
  if (dataBytes % 2 != 0) file_.Write("", 1);
  const std::uint64_t riffBytes = 4 + (8 + kDs64Bytes) + (8 + formatChunkBytes_) +
                                  (broadcastChunkBytes_ > 0 ? 8 + broadcastChunkBytes_ : 0) + 8 +
                                  dataBytes + dataBytes % 2;
  rf64_ = riffBytes > riffLimit_;

  std::vector<std::uint8_t> start;
  PutTag(start, rf64_ ? "RF64" : "RIFF");
  Put32(start, rf64_ ? 0xffffffffu : static_cast<std::uint32_t>(riffBytes));
  PutTag(start, "WAVE");
  PutTag(start, rf64_ ? "ds64" : "JUNK");
  Put32(start, kDs64Bytes);
  if (rf64_) {
    Put64(start, riffBytes);
    Put64(start, dataBytes);
    Put64(start, sampleFrames_);
    Put32(start, 0);
  } else {
    start.resize(start.size() + kDs64Bytes, 0);
  }
  std::vector<std::uint8_t> size;
  Put32(size, rf64_ ? 0xffffffffu : static_cast<std::uint32_t>(dataBytes));
  if (file_.WriteAt(0, start.data(), start.size())) {
    file_.WriteAt(dataSizeOffset_, size.data(), size.size());
  }
  file_.Close();
}

}  // namespace halvaris::decode_tool::audio
