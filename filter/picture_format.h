#pragma once

// Reading the picture fields of a media type's format block, only when the block is complete.

#define NO_DSHOW_STRSAFE
#include <dshow.h>

namespace halvaris::filter {

struct PictureFormat {
  LONG width;
  LONG height;  // with its sign
  WORD bitCount;
  DWORD compression;
  DWORD imageSize;
};

// False when the type has no format block or one too short for its header. A FORMAT_VideoInfo2
// block is read with its own layout; every other block is read as a VIDEOINFOHEADER.
bool ReadPictureFormat(const AM_MEDIA_TYPE& type, PictureFormat& format);

// The type's VIDEOINFOHEADER for writing, or nullptr unless it is a complete FORMAT_VideoInfo one.
VIDEOINFOHEADER* WritableVideoInfo(AM_MEDIA_TYPE& type);

}  // namespace halvaris::filter
