// The POSIX side (quiet_console_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/quiet_console.h"

#include <fcntl.h>
#include <unistd.h>

FILE* silence_standard_output()
{
    std::fflush(stdout);
    int kept = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (kept < 0)
        return nullptr;
    int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    FILE* console = nowhere >= 0 ? fdopen(kept, "wb") : nullptr;
    if (console == nullptr || dup2(nowhere, STDOUT_FILENO) < 0) {
        if (console != nullptr)
            std::fclose(console);
        else
            close(kept);
        if (nowhere >= 0)
            close(nowhere);
        return nullptr;
    }
    close(nowhere);
    return console;
}

#endif
