// The POSIX side (report_write_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/report_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/retried_calls.h"

bool write_then_rename(const char* temporary, const char* final_name, const char* data, size_t length)
{
    // O_EXCL with O_CREAT never follows a link: a name that exists fails.
    // The report holds every answer's data: its owner's alone, like the log.
    int descriptor = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    bool whole = write_whole(
        [descriptor](const char* bytes, size_t count) { return write(descriptor, bytes, count); }, data, length);
    if (close(descriptor) != 0)
        whole = false;
    if (whole && std::rename(temporary, final_name) == 0)
        return true;
    int error = errno;
    unlink(temporary);
    errno = error;
    return false;
}

void remove_file_now(const char* name)
{
    unlink(name);
}

unsigned long process_number()
{
    return static_cast<unsigned long>(getpid());
}

#endif
