// Media type negotiation of the decoder filter: which inputs it takes, the output it proposes,
// and the sizes it records for Transform.

#include <cstring>

#include "decoder_filter.h"
#include "decoder_setup.h"
#include "picture_format.h"
#include "win32_owners.h"

namespace halvaris::filter {
namespace {

// The decoder refuses to run inside these hosts; they are recognised by their start-up title.
bool IsRefusedHost() {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  const char* title = startup.lpTitle;
  if (!title) return false;
  return std::strstr(title, "P2Viewer") != nullptr || std::strstr(title, "wmplayer") != nullptr;
}

// Bytes of a picture of `bitCount` bits per pixel with lines padded to 32 bits, kept within
// the 32 bits of biSizeImage.
DWORD PaddedImageSize(WORD bitCount, LONG width, LONG height) {
  const long long lineBytes = ((static_cast<long long>(bitCount) * width + 31) / 32) * 4;
  const long long lines = height < 0 ? -static_cast<long long>(height) : height;
  const long long bytes = lineBytes * lines;
  if (bytes < 0) return 0;
  return bytes > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<DWORD>(bytes);
}

}  // namespace

HRESULT DecoderFilter::CheckInputType(const dshow::CMediaType* in) {
  if (!in) return E_POINTER;
  if (!IsEqualGUID(in->formattype, FORMAT_VideoInfo)) return E_INVALIDARG;
  if (IsRefusedHost()) return E_FAIL;
  PictureFormat format{};
  if (IsEqualGUID(in->majortype, MEDIATYPE_Video) && ReadPictureFormat(*in, format) &&
      format.compression == kDvh1FourCC) {
    return S_OK;
  }
  return E_FAIL;
}

HRESULT DecoderFilter::GetMediaType(int position, dshow::CMediaType* type) {
  if (!type) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  dshow::CBasePin* input = GetPin(0);
  if (!input) return E_OUTOFMEMORY;
  dshow::CMediaType connection;
  const HRESULT result = input->ConnectionMediaType(&connection);
  if (FAILED(result)) return result;
  const HRESULT copied = type->Set(connection);
  if (FAILED(copied)) return copied;

  type->SetSubtype(MEDIASUBTYPE_YUY2);
  type->SetVariableSize();
  type->SetTemporalCompression(FALSE);
  if (VIDEOINFOHEADER* header = WritableVideoInfo(*type)) {
    BITMAPINFOHEADER& bitmap = header->bmiHeader;
    bitmap.biCompression = kYuy2FourCC;
    bitmap.biSizeImage = PaddedImageSize(bitmap.biBitCount, bitmap.biWidth, bitmap.biHeight);
  }
  return S_OK;
}

HRESULT DecoderFilter::CheckTransform(const dshow::CMediaType*, const dshow::CMediaType* out) {
  BuildDecoderTables();
  dshow::CBasePin* input = GetPin(0);
  if (input && input->IsConnected()) {
    win32::ComPtr<IPin> upstream;
    if (SUCCEEDED(input->ConnectedTo(upstream.Put())) && upstream) {
      dshow::CMediaType connection;
      if (SUCCEEDED(upstream->ConnectionMediaType(&connection))) {
        PictureFormat format{};
        if (ReadPictureFormat(connection, format)) {
          renderWidth = format.width;
          renderHeight = format.height;
          inputFrameSize = static_cast<int>(format.imageSize);
        }
      }
    }
  }
  PictureFormat format{};
  if (out && ReadPictureFormat(*out, format)) {
    renderWidth = format.width;
    renderHeight = format.height;
  }
  return S_OK;
}

}  // namespace halvaris::filter
