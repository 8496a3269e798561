#include "platform/console_mode.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>

void use_binary_console()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
#else
void use_binary_console() {}
#endif
