#include "reader_messages.h"

namespace halvaris::decode_tool {

std::string ProgramMessage(const MediaError& error, const std::string& input) {
  std::string message = error.what();
  switch (error.Code()) {
    case media::MediaErrorCode::UnknownSystem:
      return message + "; give --system 1, 2, 3 or 4 (see --help)";
    case media::MediaErrorCode::ClipNeeded:
      return message + ": name one with --clip NAME (halvaris-decode " + input + " lists them)";
    default:
      break;
  }
  if (error.ReadableFrames() > 0) {
    message += "; --frames 0-" + std::to_string(error.ReadableFrames() - 1) +
               " decodes the frames before it";
  }
  return message;
}

}  // namespace halvaris::decode_tool
