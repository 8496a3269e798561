#ifndef _WIN32

#include "platform/shared_readable.h"

#include <sys/stat.h>

bool readable_by_others(const char* path)
{
    struct stat status;
    if (stat(path, &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    return (status.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

#endif
