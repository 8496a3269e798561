#ifdef _WIN32

#include "platform/shared_readable.h"

bool readable_by_others(FILE*)
{
    return false;
}

#endif
