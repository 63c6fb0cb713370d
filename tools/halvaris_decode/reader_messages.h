#pragma once

#include <string>

#include "media_names.h"

namespace halvaris::decode_tool {

// A reader's error as the program says it: the reader's facts, with the advice about the
// program's options (--system, --clip, --frames) where one of them helps. `input` is INPUT as
// given.
std::string ProgramMessage(const MediaError& error, const std::string& input);

}  // namespace halvaris::decode_tool
