#pragma once

// The readers' names the program uses: halvaris-decode is a front end over the media library.

#include "file_identity.h"
#include "frame_source.h"
#include "media_error.h"
#include "mxf/p2_card.h"
#include "system_detection.h"

namespace halvaris::decode_tool {

using media::DescribeSystem;
using media::FieldOrder;
using media::FileIdentity;
using media::FrameSound;
using media::GeometryOf;
using media::IdentityOfPath;
using media::IdentityOfStream;
using media::IsCardFolder;
using media::IsValidVideoSystem;
using media::MediaError;
using media::OpenedInput;
using media::OpenInput;
using media::PictureBytes;
using media::SystemWatch;
using media::VideoSystem;
namespace mxf = media::mxf;

}  // namespace halvaris::decode_tool

namespace halvaris::decode_tool::audio {

using media::audio::PcmFormat;

}  // namespace halvaris::decode_tool::audio
