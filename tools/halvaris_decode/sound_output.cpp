#include "sound_output.h"

#include "tool_error.h"

namespace halvaris::decode_tool {

SoundOutput::SoundOutput(const std::string& path, std::unique_ptr<FrameSound> sound)
    : file_(path), sound_(std::move(sound)) {}

void SoundOutput::WriteSoundOf(std::int64_t frameNumber, const std::uint8_t* frame,
                               std::size_t bytes, const OriginAt& origin) {
  if (wav_ == nullptr) {
    const audio::PcmFormat format = sound_->FormatOf(frame, bytes);
    if (format.channels == 0) {
      throw ToolError("--audio " + file_.Path() +
                      ": the input carries no sound (no sound track, and frame " +
                      std::to_string(frameNumber) + " holds none in its audio blocks)");
    }
    const std::optional<audio::BroadcastWaveOrigin> broadcast =
        origin ? origin(format.sampleRate) : std::nullopt;
    wav_ = std::make_unique<audio::WavWriter>(file_, format, 0xffffffffu,
                                              broadcast ? &*broadcast : nullptr);
  }
  samples_.clear();
  silenced_ += sound_->AppendSamples(frameNumber, frame, bytes, samples_);
  const auto frameBytes = static_cast<std::size_t>(wav_->Format().BytesPerFrame());
  wav_->Write(samples_.data(), samples_.size() / frameBytes);
}

void SoundOutput::Finish() {
  if (wav_ != nullptr) wav_->Finish();
}

void SoundOutput::Commit() {
  file_.Commit();
}

std::string SoundOutput::Describe() const {
  if (wav_ == nullptr) return "no sound";
  const audio::PcmFormat& format = wav_->Format();
  return std::to_string(format.channels) + " channel" + (format.channels == 1 ? "" : "s") + " of " +
         std::to_string(format.bitsPerSample) + "-bit sound, " +
         std::to_string(wav_->SampleFrames()) + " samples" + (wav_->IsRf64() ? " (RF64)" : "");
}

}  // namespace halvaris::decode_tool
