#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/wav_writer.h"
#include "media_names.h"
#include "output_file.h"

namespace halvaris::decode_tool {

// --audio FILE.wav: the sound of the decoded frames, frame by frame, as the pictures are decoded.
// The file is written under a temporary name like the pictures, and put in place together with
// them; without Commit() or PlaceWithin() a failed or interrupted run leaves FILE.wav as it was.
class SoundOutput {
 public:
  // Creates the temporary file. `sound` (which may read the input, and so must not outlive it) is
  // what the input holds. Throws ToolError when the file cannot be created.
  SoundOutput(const std::string& path, std::unique_ptr<FrameSound> sound);

  // Where and when the sound was recorded, at the sound's sample rate; nothing when not known.
  using OriginAt = std::function<std::optional<audio::BroadcastWaveOrigin>(int sampleRate)>;

  // The sound of frame `frameNumber`, decoded just now. The first frame settles the format, and
  // `origin` (asked then only) the file's broadcast-wave chunk; throws ToolError when the frame
  // carries no sound, or on a write error.
  void WriteSoundOf(std::int64_t frameNumber, const std::uint8_t* frame, std::size_t bytes,
                    const OriginAt& origin = {});

  // Completes the file (its header) and closes it, ready to be put in place.
  void Finish();
  // Puts the finished file in place on its own (interrupts held off meanwhile).
  void Commit();
  // Puts the finished file in place inside another output's commit; false when the rename failed.
  bool PlaceWithin() { return file_.PlaceWithin(); }

  const std::string& Path() const { return file_.Path(); }
  bool Existed() const { return file_.Existed(); }
  // Samples written as silence because the source marks them as damaged or lacks them.
  std::uint64_t Silenced() const { return silenced_; }
  // "2 channels of 16-bit sound, 9610 samples"
  std::string Describe() const;

 private:
  OutputFile file_;
  std::unique_ptr<FrameSound> sound_;
  std::unique_ptr<audio::WavWriter> wav_;
  std::vector<std::uint8_t> samples_;
  std::uint64_t silenced_ = 0;
};

}  // namespace halvaris::decode_tool
