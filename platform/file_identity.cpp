// The POSIX side (file_identity_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/file_identity.h"

#include <sys/stat.h>

bool same_file(const char* a, const char* b)
{
    struct stat first {}, second {};
    if (stat(a, &first) != 0 || stat(b, &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

#endif
