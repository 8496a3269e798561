// The POSIX side (large_allocations_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/large_allocations.h"

#include <malloc.h>

namespace {

// glibc's own starting threshold: a block this large or larger is mapped
// on its own.
constexpr int MAPPED_FROM = 128 * 1024;

}  // namespace

void keep_large_allocations_fresh()
{
    // glibc raises the threshold when such a block is freed, and the next
    // runs' buffers then come from the heap, cleared byte by byte and
    // resident whole, in every thread's arena. A threshold set once stays.
    mallopt(M_MMAP_THRESHOLD, MAPPED_FROM);
}

#endif
