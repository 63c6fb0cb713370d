#pragma once

// Hooks for tests of the decoder and of what is built on it (the filter); no product code
// includes this header.

namespace halvaris {
struct DspFunctions;
}

namespace halvaris::test_hooks {

// After `afterStarts` more successful thread starts, the next `failures` starts (all of them when
// negative) fail as if the system had no thread to give; a negative `afterStarts` turns this off.
void FailThreadStarts(int afterStarts, int failures = 1);

// Every decoder of the process uses `dsp` from the next share of segment slots a worker starts on
// (every wave of every frame after this call), whatever was chosen at start;
// nullptr goes back to the chosen level.
void UseDsp(const DspFunctions* dsp);

}  // namespace halvaris::test_hooks
