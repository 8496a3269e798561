// Writes of the script trace to a stream that only this thread uses: glibc
// offers them without the stream lock, which the trace of a large script
// feels; other C libraries get the ordinary calls.
#pragma once

#include <cstddef>
#include <cstdio>

inline void trace_write(const char* text, size_t length, FILE* stream)
{
#ifdef __GLIBC__
    fwrite_unlocked(text, 1, length, stream);
#else
    fwrite(text, 1, length, stream);
#endif
}

inline void trace_puts(const char* text, FILE* stream)
{
#ifdef __GLIBC__
    fputs_unlocked(text, stream);
#else
    fputs(text, stream);
#endif
}

inline void trace_putc(char c, FILE* stream)
{
#ifdef __GLIBC__
    fputc_unlocked(c, stream);
#else
    fputc(c, stream);
#endif
}
