#pragma once

namespace platform {

// Tunes the C library's heap for extraction runs: file buffers are reused rather than handed
// back to the system after every file, and the heap grows in large steps. Called once, early.
void tuneHeapForRuns();

} // namespace platform
