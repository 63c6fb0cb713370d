#pragma once

// The compressed input the decoder filter accepts, as a source offers it: Video with a
// FORMAT_VideoInfo block whose compression says "dvh1", one compressed frame per sample.

#include "base/media_type.h"

namespace halvaris::filter {

// The "dvh1" type of video system 1..4 at its coded picture size; an empty type for any other
// system. The subtype carries the FourCC as usual, though the filter looks only at biCompression.
dshow::CMediaType Dvh1MediaType(int system);

}  // namespace halvaris::filter
