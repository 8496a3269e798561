// The token trace on standard output: a line for every token, written by the
// scanner and by the name action in the order the tokens come, between the
// other lines of standard output.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

// Writes length bytes of text to standard output. The trace is about twice
// the size of the script, a line of some twenty bytes at a time, and a call
// of fwrite costs more than the copy: with the GNU C library a line that fits
// in the stream's buffer is copied straight into it, the way the library's
// own putc_unlocked stores a character. A line-buffered or unbuffered
// stream (a terminal) leaves no room there and takes the fwrite path, as
// does every other C library.
inline void trace_write(const char* text, size_t length)
{
#if defined(__GLIBC__)
    FILE* out = stdout;
    if (out->_IO_write_ptr != nullptr && static_cast<size_t>(out->_IO_write_end - out->_IO_write_ptr) >= length) {
        std::memcpy(out->_IO_write_ptr, text, length);
        out->_IO_write_ptr += length;
        return;
    }
#endif
    fwrite_unlocked(text, 1, length, stdout);
}
