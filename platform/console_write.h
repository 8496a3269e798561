// Writes of the script trace to a run's console stream, which only the
// run's own thread uses. The trace is about twice the size of the script, a line of some
// twenty bytes at a time, and a call of fwrite costs more than the copy:
// with the GNU C library a line that fits in the stream's buffer is copied
// straight into it, the way the library's own putc_unlocked stores a
// character, and everything else goes through fwrite_unlocked, without the
// stream lock. A line-buffered or unbuffered stream (a terminal) leaves no
// room there and takes the fwrite path. Other C libraries get fwrite.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

inline void trace_write(const char* text, size_t length, FILE* stream)
{
#ifdef __GLIBC__
    if (stream->_IO_write_ptr != nullptr &&
        static_cast<size_t>(stream->_IO_write_end - stream->_IO_write_ptr) >= length) {
        std::memcpy(stream->_IO_write_ptr, text, length);
        stream->_IO_write_ptr += length;
        return;
    }
    fwrite_unlocked(text, 1, length, stream);
#else
    std::fwrite(text, 1, length, stream);
#endif
}
