// Buffer negotiation and the per-sample transform of the decoder filter.

#include <climits>
#include <cstddef>

#include "decoder_filter.h"
#include "picture_format.h"
#include "user_interface.h"
#include "win32_owners.h"

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

// The bytes of a buffer of `bufferBytes` that belong to a picture of `lines` lines of `pitch`
// bytes: the decoder must not write past the picture's last line even where the buffer goes on.
std::size_t PictureBytesInBuffer(long bufferBytes, long long pitch, long long lines) {
  if (bufferBytes <= 0 || pitch <= 0 || lines <= 0) return 0;
  const auto buffer = static_cast<unsigned long long>(bufferBytes);
  if (static_cast<unsigned long long>(lines) > buffer / static_cast<unsigned long long>(pitch)) {
    return static_cast<std::size_t>(buffer);
  }
  return static_cast<std::size_t>(pitch * lines);
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
  win32::ComPtr<IPin> upstream;
  if (SUCCEEDED(input->ConnectedTo(upstream.Put())) && upstream) {
    dshow::CMediaType connection;
    if (SUCCEEDED(upstream->ConnectionMediaType(&connection))) {
      haveFormat = ReadPictureFormat(connection, format);
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

    // The decoder decodes only what fits: a short input has its missing bytes taken as zero, a
    // picture smaller than the system's coded size is left unwritten. Either way the sample goes
    // downstream.
    HalvarisDecoder* frameDecoder = havePointers ? Decoder() : nullptr;
    if (frameDecoder) {
      // Valid bytes, never more than the buffer holds.
      long inputBytes = in->GetActualDataLength();
      if (inputBytes > in->GetSize()) inputBytes = in->GetSize();
      const long long pitch = 2 * static_cast<long long>(width);
      const long long lines = Magnitude(height);
      halvaris_decode_frame(frameDecoder, system, inputData,
                            static_cast<std::size_t>(inputBytes > 0 ? inputBytes : 0), outputData,
                            static_cast<std::ptrdiff_t>(pitch),
                            PictureBytesInBuffer(out->GetSize(), pitch, lines));
    }
  } catch (...) {
    // Nothing may leave a COM call; the sample is delivered as it stands.
  }
  return S_OK;
}

}  // namespace halvaris::filter
