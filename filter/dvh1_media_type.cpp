#include "dvh1_media_type.h"

#include "decoder_guids.h"
#include "halvaris/halvaris.h"

namespace halvaris::filter {

dshow::CMediaType Dvh1MediaType(int system) {
  dshow::CMediaType type;
  HalvarisSystemInfo info{};
  if (halvaris_system_info(system, &info) != HALVARIS_OK) return type;
  type.SetType(MEDIATYPE_Video);
  GUID subtype = MEDIASUBTYPE_YUY2;
  subtype.Data1 = kDvh1FourCC;
  type.SetSubtype(subtype);
  type.SetFormatType(FORMAT_VideoInfo);
  type.SetSampleSize(static_cast<ULONG>(info.frameBytes));
  auto* header =
      reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  if (!header) return type;
  header->AvgTimePerFrame = 333667;
  header->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header->bmiHeader.biWidth = info.width;
  header->bmiHeader.biHeight = info.height;
  header->bmiHeader.biPlanes = 1;
  header->bmiHeader.biBitCount = 16;
  header->bmiHeader.biCompression = kDvh1FourCC;
  header->bmiHeader.biSizeImage = static_cast<DWORD>(info.frameBytes);
  return type;
}

}  // namespace halvaris::filter
