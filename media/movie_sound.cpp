#include "movie_sound.h"

#include <algorithm>
#include <cstring>

#include "media_error.h"

namespace halvaris::media {

MovieSound::MovieSound(InputFile& file, MovieSoundTrack track)
    : file_(file), track_(std::move(track)) {}

MovieSound::~MovieSound() = default;

audio::PcmFormat MovieSound::Format() const {
  audio::PcmFormat format;
  format.channels = track_.channels;
  format.bitsPerSample = track_.bitsPerSample;
  format.sampleRate = 48000;
  return format;
}

std::size_t MovieSound::ReadRun(std::uint64_t offset, std::size_t bytes, std::uint8_t* out) {
  const std::uint64_t fileSize = static_cast<std::uint64_t>(file_.Size());
  if (offset >= fileSize) return 0;
  bytes = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, fileSize - offset));
  file_.Seek(static_cast<std::int64_t>(offset));
  return file_.Read(out, bytes);
}

std::uint64_t MovieSound::Read(std::uint64_t first, std::size_t count, std::uint8_t* out) {
  const std::size_t frameBytes = track_.constantSampleSize;
  std::memset(out, 0, count * frameBytes);
  std::size_t done = 0;
  try {
    if (!damaged_ && (samples_ == nullptr || samples_->NextIndex() > first)) {
      samples_ = std::make_unique<MovieSampleReader>(file_, track_);
    }
    MovieSample sample;
    while (!damaged_ && samples_->NextIndex() < first && samples_->Next(sample)) {
    }
    // Samples that follow each other in the file are read together.
    std::uint64_t runOffset = 0;
    std::size_t runStart = 0;
    std::size_t runSamples = 0;
    auto readRun = [&] {
      const std::size_t bytes = runSamples * frameBytes;
      const std::size_t got = ReadRun(runOffset, bytes, out + runStart * frameBytes);
      std::memset(out + runStart * frameBytes + got, 0, bytes - got);
      done += got / frameBytes;
      runSamples = 0;
    };
    for (std::size_t i = 0; !damaged_ && i < count; ++i) {
      if (samples_->NextIndex() != first + i || !samples_->Next(sample)) break;
      if (runSamples > 0 && sample.offset != runOffset + runSamples * frameBytes) readRun();
      if (runSamples == 0) {
        runOffset = sample.offset;
        runStart = i;
      }
      ++runSamples;
    }
    if (runSamples > 0) readRun();
  } catch (const MediaError&) {
    // Damaged tables found on the way: the rest of the sound is silence, counted.
    damaged_ = true;
  }
  // Big-endian samples are turned round.
  if (track_.bigEndian) {
    const std::size_t sampleBytes = static_cast<std::size_t>(track_.bitsPerSample / 8);
    for (std::size_t at = 0; at + sampleBytes <= count * frameBytes; at += sampleBytes) {
      std::reverse(out + at, out + at + sampleBytes);
    }
  }
  return count - done;
}

}  // namespace halvaris::media
