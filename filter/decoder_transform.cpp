// Buffer negotiation and the per-sample transform of the decoder filter.

#include <climits>

#include "filter/base/owners.h"
#include "filter/decoder_filter.h"
#include "filter/picture_format.h"
#include "filter/user_interface.h"

namespace halvaris::filter {
namespace {

long long Magnitude(long long value) {
  return value < 0 ? -value : value;
}

// Picture bytes of |height| lines of `width` YUY2 pixels, kept within 0..limit.
long long PackedPictureBytes(long long width, long long height, long long limit) {
  const long long bytes = Magnitude(height) * width * 2;
  if (bytes < 0) return 0;
  return bytes > limit ? limit : bytes;
}

}  // namespace

int ChooseVideoSystem(int width, int frameSize) {
  int system = 1;
  if (width > 1400) system = 3;
  if (width < 1000) system = 2;
  if (system == 2 && frameSize > 250000) system = 4;
  return system;
}

HRESULT DecoderFilter::DecideBufferSize(IMemAllocator* allocator,
                                        ALLOCATOR_PROPERTIES* properties) {
  if (!allocator || !properties) return E_POINTER;
  dshow::CBasePin* input = GetPin(0);
  if (!input || !input->IsConnected()) return E_UNEXPECTED;

  PictureFormat format{};
  bool haveFormat = false;
  dshow::ComPtr<IPin> upstream;
  if (SUCCEEDED(input->ConnectedTo(upstream.Put())) && upstream) {
    AM_MEDIA_TYPE connection{};
    if (SUCCEEDED(upstream->ConnectionMediaType(&connection))) {
      haveFormat = ReadPictureFormat(connection, format);
      dshow::FreeMediaType(connection);
    }
  }
  if (!haveFormat) {
    ShowMessage("DecideBufferSize failed to get input frame size", "Halvaris Decoder");
    return E_FAIL;
  }
  inputFrameSize = static_cast<int>(format.imageSize);
  properties->cBuffers = 1;
  properties->cbBuffer =
      static_cast<long>(PackedPictureBytes(format.width, format.height, LONG_MAX));

  ALLOCATOR_PROPERTIES granted{};
  const HRESULT result = allocator->SetProperties(properties, &granted);
  if (FAILED(result)) return result;
  if (granted.cBuffers < properties->cBuffers || granted.cbBuffer < properties->cbBuffer) {
    return E_FAIL;
  }
  return S_OK;
}

void DecoderFilter::FillOutputSampleType(int width, int height) {
  const auto imageBytes = static_cast<DWORD>(PackedPictureBytes(width, height, 0xFFFFFFFFll));
  const LONG lines =
      static_cast<LONG>(height == INT_MIN ? static_cast<long long>(INT_MAX) : Magnitude(height));
  outputSampleType.Clear();
  outputSampleType.SetType(MEDIATYPE_Video);
  outputSampleType.SetSubtype(MEDIASUBTYPE_YUY2);
  outputSampleType.SetSampleSize(imageBytes);
  outputSampleType.bFixedSizeSamples = TRUE;
  outputSampleType.SetTemporalCompression(FALSE);
  outputSampleType.SetFormatType(FORMAT_VideoInfo);
  auto* header = reinterpret_cast<VIDEOINFOHEADER*>(
      outputSampleType.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  if (!header) return;
  header->rcSource = RECT{0, 0, width, lines};
  header->rcTarget = RECT{0, 0, width, lines};
  BITMAPINFOHEADER& bitmap = header->bmiHeader;
  bitmap.biSize = sizeof(BITMAPINFOHEADER);
  bitmap.biWidth = width;
  bitmap.biHeight = height;
  bitmap.biPlanes = 1;
  bitmap.biBitCount = 16;
  bitmap.biCompression = kYuy2FourCC;
  bitmap.biSizeImage = imageBytes;
}

HRESULT DecoderFilter::Transform(IMediaSample* in, IMediaSample* out) {
  if (!in || !out) return E_POINTER;
  try {
    BYTE* inputData = nullptr;
    BYTE* outputData = nullptr;
    const bool havePointers = SUCCEEDED(in->GetPointer(&inputData)) && inputData &&
                              SUCCEEDED(out->GetPointer(&outputData)) && outputData;

    // One reading of the picture size for the label and the decode alike.
    const int width = renderWidth;
    const int height = renderHeight;
    FillOutputSampleType(width, height);
    out->SetMediaType(&outputSampleType);

    AM_MEDIA_TYPE* raw = nullptr;
    if (in->GetMediaType(&raw) == S_OK && raw) {
      dshow::UniqueMediaType announced(raw);
      PictureFormat format{};
      if (ReadPictureFormat(*announced, format)) {
        inputFrameSize = static_cast<int>(format.imageSize);
      }
    }
    const int system = ChooseVideoSystem(width, inputFrameSize);

    // The dispatcher decodes only what fits: a short input has its missing bytes taken as zero,
    // a picture smaller than the system's coded size is left unwritten. Either way the sample
    // goes downstream.
    halvaris::FrameDispatcher* decoder = havePointers ? Dispatcher() : nullptr;
    if (decoder) {
      // Valid bytes, never more than the buffer holds.
      long inputBytes = in->GetActualDataLength();
      if (inputBytes > in->GetSize()) inputBytes = in->GetSize();
      const long outputBytes = out->GetSize();
      const int lines = height == INT_MIN ? INT_MAX : static_cast<int>(Magnitude(height));
      decoder->DecodeFrame(outputData, width, -lines,
                           static_cast<std::size_t>(outputBytes > 0 ? outputBytes : 0), inputData,
                           static_cast<std::size_t>(inputBytes > 0 ? inputBytes : 0), system);
    }
  } catch (...) {
    // Nothing may leave a COM call; the sample is delivered as it stands.
  }
  return S_OK;
}

}  // namespace halvaris::filter
