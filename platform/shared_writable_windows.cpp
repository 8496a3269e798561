#ifdef _WIN32

#include "platform/shared_writable.h"

std::string changeable_by_others(const char*)
{
    return {};
}

#endif
