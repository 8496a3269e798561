// The sizes of the link's buffers (link/link.h holds them). Each keeps one
// spare byte so that a read that fills it completely still ends in a
// terminator.
#pragma once

#include <cstddef>

constexpr int TRANSFER_BUFFER_SIZE = 4096;
constexpr int IMAGE_BUFFER_SIZE = 4194304;
// The fuzzing build makes the response store small (QUORVEX_FUZZ_STORE_SIZE)
// so that short inputs reach its rollover; every other build has 1 MiB.
#ifdef QUORVEX_FUZZ_STORE_SIZE
constexpr int RESPONSE_STORE_SIZE = QUORVEX_FUZZ_STORE_SIZE;
#else
constexpr int RESPONSE_STORE_SIZE = 1048576;
#endif
