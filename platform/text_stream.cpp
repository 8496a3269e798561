#include "platform/text_stream.h"

#include <cstring>

size_t text_read(FILE* stream, char* buf, size_t max)
{
    size_t got = fread(buf, 1, max, stream);
    if (got == 0)
        return 0;
    // Fold CR LF to LF in place; most scripts have no CR at all.
    char* cr = static_cast<char*>(memchr(buf, '\r', got));
    size_t out = cr ? static_cast<size_t>(cr - buf) : got;
    for (size_t in = out; in < got; ++in) {
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

// The next character with a CR LF pair read as LF.
static int folded_getc(FILE* stream)
{
    int c = getc(stream);
    if (c == '\r') {
        int next = getc(stream);
        if (next == '\n')
            return '\n';
        if (next != EOF)
            ungetc(next, stream);
    }
    return c;
}

char* text_gets(char* buf, int size, FILE* stream)
{
    if (size <= 0)
        return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = folded_getc(stream);
        if (c == EOF)
            break;
        buf[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buf[n] = '\0';
    return n == 0 ? nullptr : buf;
}

bool text_getline(FILE* stream, std::string& line)
{
    line.clear();
    int c;
    while ((c = folded_getc(stream)) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return !line.empty();
}
