#pragma once

// Hooks for the decoder's own tests; nothing else includes this header.

namespace halvaris::test_hooks {

// The thread start after `afterStarts` more successful ones fails as if the system had no thread
// to give (once); a negative value turns this off.
void FailThreadStarts(int afterStarts);

}  // namespace halvaris::test_hooks
