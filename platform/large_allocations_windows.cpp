// The Windows side (large_allocations.cpp is the POSIX one): the heap
// gives blocks this large their own mapping from the system already.
#ifdef _WIN32

#include "platform/large_allocations.h"

void keep_large_allocations_fresh()
{
}

#endif
