#include "platform/text_stream.h"

#include <cstring>

size_t text_read(FILE* stream, char* buf, size_t max)
{
    size_t got = fread(buf, 1, max, stream);
    if (got == 0)
        return 0;
    // Fold CR LF to LF in place.
    size_t out = 0;
    for (size_t in = 0; in < got; ++in) {
        if (buf[in] == '\r' && in + 1 < got && buf[in + 1] == '\n')
            continue;
        buf[out++] = buf[in];
    }
    // A CR at the very end may pair with the first byte of the next read.
    if (buf[out - 1] == '\r') {
        int next = getc(stream);
        if (next == '\n')
            buf[out - 1] = '\n';
        else if (next != EOF)
            ungetc(next, stream);
    }
    return out;
}

char* text_gets(char* buf, int size, FILE* stream)
{
    if (size <= 0)
        return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = getc(stream);
        if (c == EOF)
            break;
        if (c == '\r') {
            int next = getc(stream);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                ungetc(next, stream);
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buf[n] = '\0';
    return n == 0 ? nullptr : buf;
}
