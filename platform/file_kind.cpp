#include "platform/file_kind.h"

#include <sys/stat.h>

bool readable_at_once(const char* path)
{
    struct stat status {};
    if (stat(path, &status) != 0)
        return true;
#ifdef S_ISBLK
    if (S_ISBLK(status.st_mode))
        return true;
#endif
    return S_ISREG(status.st_mode);
}
