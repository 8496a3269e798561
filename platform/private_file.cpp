// The POSIX side (private_file_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* create_private_file(const char* name)
{
    int descriptor = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return nullptr;
    // An existing file keeps its permissions through open(): narrow them.
    if (fchmod(descriptor, S_IRUSR | S_IWUSR) != 0) {
        close(descriptor);
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr)
        close(descriptor);
    return file;
}

FILE* open_private_file(const char* name)
{
    return fopen(name, "rb");
}

#endif
