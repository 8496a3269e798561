#ifdef _WIN32

#include "platform/shared_readable.h"

bool readable_by_others(const char*)
{
    return false;
}

#endif
