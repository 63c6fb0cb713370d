#include "dsp.h"

#include <cstdlib>
#include <cstring>

namespace halvaris {

const DspFunctions& ScalarDsp() {
  static const DspFunctions functions = {InverseDct8x8Scalar, PackBlockYuy2Scalar, "scalar"};
  return functions;
}

const DspFunctions& ActiveDsp() {
  static const DspFunctions& chosen = []() -> const DspFunctions& {
    const char* force = std::getenv("HALVARIS_FORCE_SCALAR");
    const bool scalarForced = force != nullptr && std::strcmp(force, "0") != 0;
    const DspFunctions* sse2 = Sse2Dsp();
    return (sse2 != nullptr && !scalarForced) ? *sse2 : ScalarDsp();
  }();
  return chosen;
}

}  // namespace halvaris
