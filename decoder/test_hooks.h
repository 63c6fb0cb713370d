#pragma once

// Hooks for the decoder's own tests; nothing else includes this header.

namespace halvaris {
struct DspFunctions;
}

namespace halvaris::test_hooks {

// The thread start after `afterStarts` more successful ones fails as if the system had no thread
// to give (once); a negative value turns this off.
void FailThreadStarts(int afterStarts);

// Every decoder of the process uses `dsp` from the next segment on, whatever was chosen at start;
// nullptr goes back to the chosen level.
void UseDsp(const DspFunctions* dsp);

}  // namespace halvaris::test_hooks
