// The public C interface over the frame dispatcher.

#include <atomic>
#include <new>

#include "frame_dispatcher.h"
#include "halvaris/halvaris.h"
#include "halvaris_build_version.h"
#include "placement_tables.h"
#include "video_system.h"

namespace {
// Bits of HalvarisDecoder::use.
constexpr unsigned kDecoding = 1;      // a halvaris_decode_frame call is running
constexpr unsigned kDestroyAsked = 2;  // halvaris_decoder_destroy came during it
}  // namespace

struct HalvarisDecoder {
  halvaris::FrameDispatcher dispatcher;
  // One atomic exchange per call keeps a second caller (another thread, or the message callback)
  // out of the dispatcher, whose jobs and waves belong to one frame at a time; a destroy that
  // comes during a decode is left to that decode to carry out as it returns.
  std::atomic<unsigned> use{0};

  HalvarisDecoder(int workerCount, halvaris::ThreadingMode mode, HalvarisMessageCallback callback,
                  void* userData)
      : dispatcher(workerCount, mode, callback, userData) {}
};

extern "C" {

const char* halvaris_result_text(int result) {
  switch (result) {
    case HALVARIS_OK:
      return "success";
    case HALVARIS_ERROR_INVALID_ARGUMENT:
      return "invalid argument";
    case HALVARIS_ERROR_PICTURE_TOO_SMALL:
      return "picture buffer too small for the video system";
    case HALVARIS_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case HALVARIS_ERROR_INCOMPLETE:
      return "picture not completely decoded";
    case HALVARIS_ERROR_BUSY:
      return "decoder busy with another frame";
    default:
      return "unknown result";
  }
}

const char* halvaris_version(void) {
  return HALVARIS_VERSION_STRING;
}

unsigned halvaris_version_number(void) {
  return (HALVARIS_VERSION_MAJOR << 16) | (HALVARIS_VERSION_MINOR << 8) | HALVARIS_VERSION_PATCH;
}

int halvaris_system_info(int system, HalvarisSystemInfo* info) {
  if (info == nullptr || !halvaris::IsValidVideoSystem(system)) {
    return HALVARIS_ERROR_INVALID_ARGUMENT;
  }
  const halvaris::SystemGeometry& geometry = halvaris::GeometryOf(system);
  // A 1080-line frame holds two fields, a 720-line frame is one picture.
  static const int kRates[4][2] = {{30000, 1001}, {60000, 1001}, {25, 1}, {50, 1}};
  info->width = geometry.width;
  info->height = geometry.height;
  info->frameBytes = geometry.frameBytes;
  info->pictureBytes = halvaris::PictureBytes(system);
  info->frameRateNumerator = kRates[system - 1][0];
  info->frameRateDenominator = kRates[system - 1][1];
  info->interlaced = system == 1 || system == 3;
  return HALVARIS_OK;
}

int halvaris_default_worker_count(void) {
  return halvaris::DefaultWorkerCount();
}

void halvaris_default_settings(HalvarisSettings* settings) {
  if (settings == nullptr) return;
  *settings = HalvarisSettings{0, HALVARIS_THREADS_POOL, nullptr, nullptr};
}

int halvaris_decoder_create(const HalvarisSettings* settings, HalvarisDecoder** decoder) {
  if (decoder == nullptr) return HALVARIS_ERROR_INVALID_ARGUMENT;
  *decoder = nullptr;
  HalvarisSettings chosen;
  halvaris_default_settings(&chosen);
  if (settings != nullptr) chosen = *settings;
  if (chosen.workerCount < 0 || chosen.workerCount > HALVARIS_MAX_WORKERS) {
    return HALVARIS_ERROR_INVALID_ARGUMENT;
  }
  if (chosen.threadingMode != HALVARIS_THREADS_POOL &&
      chosen.threadingMode != HALVARIS_THREADS_PER_WAVE) {
    return HALVARIS_ERROR_INVALID_ARGUMENT;
  }
  const int workers = chosen.workerCount == 0 ? halvaris::DefaultWorkerCount() : chosen.workerCount;
  const halvaris::ThreadingMode mode = chosen.threadingMode == HALVARIS_THREADS_PER_WAVE
                                           ? halvaris::ThreadingMode::PerWaveThreads
                                           : halvaris::ThreadingMode::Pool;
  try {
    halvaris::BuildPlacementTables();  // once per process, so that no frame waits for it
    *decoder = new HalvarisDecoder(workers, mode, chosen.messageCallback, chosen.messageUserData);
  } catch (const std::bad_alloc&) {
    return HALVARIS_ERROR_OUT_OF_MEMORY;
  }
  return HALVARIS_OK;
}

void halvaris_decoder_destroy(HalvarisDecoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->use.fetch_or(kDestroyAsked, std::memory_order_acq_rel) & kDecoding) return;
  delete decoder;
}

int halvaris_decoder_worker_count(const HalvarisDecoder* decoder) {
  return decoder != nullptr ? decoder->dispatcher.WorkerCount() : 0;
}

int halvaris_decode_frame(HalvarisDecoder* decoder, int system, const std::uint8_t* frame,
                          std::size_t frameBytes, std::uint8_t* picture, std::ptrdiff_t pitch,
                          std::size_t pictureBytes) {
  return halvaris_decode_frame_counting(decoder, system, frame, frameBytes, picture, pitch,
                                        pictureBytes, nullptr);
}

int halvaris_decode_frame_counting(HalvarisDecoder* decoder, int system, const std::uint8_t* frame,
                                   std::size_t frameBytes, std::uint8_t* picture,
                                   std::ptrdiff_t pitch, std::size_t pictureBytes,
                                   std::uint32_t* unfinishedBlocks) {
  if (unfinishedBlocks != nullptr) *unfinishedBlocks = 0;
  if (decoder == nullptr) return HALVARIS_ERROR_INVALID_ARGUMENT;
  unsigned idle = 0;
  if (!decoder->use.compare_exchange_strong(idle, kDecoding, std::memory_order_acquire)) {
    return HALVARIS_ERROR_BUSY;
  }
  int result;
  try {
    result =
        decoder->dispatcher.DecodeFrame(picture, pitch, pictureBytes, frame, frameBytes, system,
                                        unfinishedBlocks);
  } catch (const std::bad_alloc&) {  // the copy of a short frame
    result = HALVARIS_ERROR_OUT_OF_MEMORY;
  }
  if (decoder->use.exchange(0, std::memory_order_acq_rel) & kDestroyAsked) delete decoder;
  return result;
}

}  // extern "C"
