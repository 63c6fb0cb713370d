#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace halvaris::media {

// What kind of failure an error is, for the caller to act on (the C interface's results, a
// program's advice).
enum class MediaErrorCode {
  CannotRead,     // a file or folder that cannot be opened or read
  NotDvcproHd,    // none of the containers read here, or DV of another kind
  UnknownSystem,  // nothing in the input tells the video system
  Damaged,        // the structure is damaged or unsupported where it matters
  EndOfInput,     // a frame past the end
  ClipNeeded,     // a card of several clips, none named
  UnknownClip,    // a clip the card does not hold
  NoSound,        // no sound that is read
  NotSeekable,    // backwards on a stream, or a container that needs a file, on a pipe
};

// An input that cannot be read as asked: the message says what is wrong and where, in one line,
// in the input's terms (never in a program's).
class MediaError : public std::runtime_error {
 public:
  explicit MediaError(const std::string& message, MediaErrorCode code = MediaErrorCode::Damaged)
      : std::runtime_error(message), code_(code) {}

  // A frame that cannot be read although the `readableFrames` before it can.
  static MediaError FrameOutsideFile(const std::string& message, std::int64_t readableFrames) {
    MediaError error(message, MediaErrorCode::Damaged);
    error.readableFrames_ = readableFrames;
    return error;
  }

  MediaErrorCode Code() const { return code_; }
  // How many frames from the first can be read before the one that failed; -1 when not known.
  std::int64_t ReadableFrames() const { return readableFrames_; }

 private:
  MediaErrorCode code_;
  std::int64_t readableFrames_ = -1;
};

}  // namespace halvaris::media
