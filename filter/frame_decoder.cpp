#include "frame_decoder.h"

#include <cstdlib>
#include <cstring>

#include "user_interface.h"

namespace halvaris::filter {
namespace {

// A worker that could not be started, a buffer that could not be had: told as message boxes.
void ShowDecoderMessage(void*, const char* text, const char* caption) {
  ShowMessage(text, caption);
}

}  // namespace

HalvarisSettings FilterDecoderSettings(int workerCount) {
  HalvarisSettings settings;
  halvaris_default_settings(&settings);
  settings.workerCount = workerCount;
  const char* threading = std::getenv("HALVARIS_DECODE_THREADS");
  if (threading && std::strcmp(threading, "per-wave") == 0) {
    settings.threadingMode = HALVARIS_THREADS_PER_WAVE;
  }
  settings.messageCallback = &ShowDecoderMessage;
  return settings;
}

UniqueDecoder MakeFilterDecoder(int workerCount) {
  const HalvarisSettings settings = FilterDecoderSettings(workerCount);
  UniqueDecoder decoder;
  CreateDecoder(&settings, decoder);
  return decoder;
}

}  // namespace halvaris::filter
