#include "decoder_setup.h"

#include <atomic>

#include "processor_check.h"
#include "user_interface.h"

namespace halvaris::filter {
namespace {

std::atomic<int> workerCount{1};

}  // namespace

void BuildDecoderTables() {
  if (!win32::ProcessorHasRequiredFeatures()) {
    // A warning only: decoding is attempted all the same.
    ShowMessage(
        "Your processor is not Pentium 4/Athlon 64 compatible\nHalvaris will not function "
        "properly",
        "Halvaris");
  }
  workerCount = win32::WorkerCountOfThisMachine();
}

int CurrentWorkerCount() {
  return workerCount;
}

}  // namespace halvaris::filter
