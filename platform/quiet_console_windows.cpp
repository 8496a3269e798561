// The Windows side (quiet_console.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/quiet_console.h"

#include <fcntl.h>
#include <io.h>

FILE* silence_standard_output()
{
    std::fflush(stdout);
    int kept = _dup(_fileno(stdout));
    if (kept < 0)
        return nullptr;
    int nowhere = _open("NUL", _O_WRONLY | _O_BINARY);
    FILE* console = nowhere >= 0 ? _fdopen(kept, "wb") : nullptr;
    if (console == nullptr || _dup2(nowhere, _fileno(stdout)) != 0) {
        if (console != nullptr)
            std::fclose(console);
        else
            _close(kept);
        if (nowhere >= 0)
            _close(nowhere);
        return nullptr;
    }
    _close(nowhere);
    _setmode(_fileno(console), _O_BINARY);
    return console;
}

#endif
