#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <sys/platform/x86.h>
#endif

namespace engine {

// Whether the processor and the system let AVX2 run. The C library has asked the processor
// already, as it started the program; asking again is dear on a virtual machine, where each
// question goes to the host.
inline bool hasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
    return CPU_FEATURE_ACTIVE(AVX2);
#else
    return false;
#endif
}

} // namespace engine
