// System calls that a signal can interrupt (failing with EINTR) or that can
// do part of what they were asked (a write that takes fewer bytes): the
// POSIX side makes them again here. Each helper takes the call itself, so
// that a test can hand in one that is interrupted or writes a byte at a
// time. Nothing here allocates: safe inside a signal handler.
#pragma once

#include <cerrno>
#include <cstddef>

// Makes call() again for as long as it fails (a negative result) with
// EINTR; its last result, errno as that call left it.
template <class Call>
auto again_if_interrupted(Call call)
{
    auto result = call();
    while (result < 0 && errno == EINTR)
        result = call();
    return result;
}

// Hands write_some(bytes, count) what is left of data until all length
// bytes went, an interrupted write made again. False when a write failed
// (errno says why) or took no byte at all (errno ENOSPC).
template <class WriteSome>
bool write_whole(WriteSome write_some, const void* data, size_t length)
{
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
        auto wrote = again_if_interrupted([&] { return write_some(bytes + done, length - done); });
        if (wrote <= 0) {
            if (wrote == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}
