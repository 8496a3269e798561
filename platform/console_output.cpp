#include "platform/console_output.h"

#include <unistd.h>

#include <cstdio>

namespace {
constexpr size_t CONSOLE_BUFFER_SIZE = 65536;
char console_buffer[CONSOLE_BUFFER_SIZE];
}  // namespace

void buffer_console_output()
{
    if (isatty(fileno(stdout)) != 1)
        std::setvbuf(stdout, console_buffer, _IOFBF, sizeof console_buffer);
}
