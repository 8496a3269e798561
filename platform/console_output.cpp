#include "platform/console_output.h"

#include <unistd.h>

#include <cstdio>

namespace {
constexpr size_t CONSOLE_BUFFER_SIZE = 65536;
// Standard output's buffer, the process's as standard output is.
char console_buffer[CONSOLE_BUFFER_SIZE];
}  // namespace

bool standard_error_is_terminal()
{
    return stream_is_terminal(stderr);
}

bool stream_is_terminal(FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

void buffer_console_output()
{
    if (isatty(fileno(stdout)) != 1)
        std::setvbuf(stdout, console_buffer, _IOFBF, sizeof console_buffer);
}
