#include "picture_format.h"

#include <dvdmedia.h>

#include <cstddef>
#include <cstring>

namespace halvaris::filter {

bool ReadPictureFormat(const AM_MEDIA_TYPE& type, PictureFormat& format) {
  if (!type.pbFormat) return false;
  BITMAPINFOHEADER header;
  if (IsEqualGUID(type.formattype, FORMAT_VideoInfo2)) {
    if (type.cbFormat < sizeof(VIDEOINFOHEADER2)) return false;
    std::memcpy(&header, type.pbFormat + offsetof(VIDEOINFOHEADER2, bmiHeader), sizeof(header));
  } else {
    if (type.cbFormat < sizeof(VIDEOINFOHEADER)) return false;
    std::memcpy(&header, type.pbFormat + offsetof(VIDEOINFOHEADER, bmiHeader), sizeof(header));
  }
  format.width = header.biWidth;
  format.height = header.biHeight;
  format.bitCount = header.biBitCount;
  format.compression = header.biCompression;
  format.imageSize = header.biSizeImage;
  return true;
}

VIDEOINFOHEADER* WritableVideoInfo(AM_MEDIA_TYPE& type) {
  if (!type.pbFormat || !IsEqualGUID(type.formattype, FORMAT_VideoInfo) ||
      type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat);
}

}  // namespace halvaris::filter
