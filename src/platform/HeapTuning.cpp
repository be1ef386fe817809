#include "HeapTuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void tuneHeapForRuns()
{
#if defined(__GLIBC__)
    // A run reads every file whole into a buffer of its size. Served from the heap and kept
    // there when freed, the next file's buffer is memory the kernel has already handed out,
    // instead of fresh pages that fault in one by one and go back at every file's end.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Result rows are memory that stays: each heap grows in large steps rather than a call to
    // the system every few hundred kilobytes. Untouched, the padding costs nothing resident.
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}

} // namespace platform
