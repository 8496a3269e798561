// The POSIX side (file_kind_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/file_kind.h"

#include <sys/stat.h>

#include <cerrno>

bool readable_at_once(const char* path)
{
    struct stat status {};
    if (stat(path, &status) != 0)
        return true;
    return S_ISREG(status.st_mode) || S_ISBLK(status.st_mode);
}

bool link_to_nothing(const char* path)
{
    struct stat status {};
    if (lstat(path, &status) != 0 || !S_ISLNK(status.st_mode))
        return false;
    return stat(path, &status) != 0 && errno == ENOENT;
}

#endif
