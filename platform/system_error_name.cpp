#ifndef _WIN32

#include "platform/system_error_name.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace {

#define NAMED QUORVEX_ERROR_NAME

constexpr ErrorName NAMES[] = {
    NAMED(EPERM),        NAMED(ENOENT),       NAMED(EINTR),         NAMED(EIO),          NAMED(EBADF),
    NAMED(EAGAIN),       NAMED(ENOMEM),       NAMED(EACCES),        NAMED(EEXIST),       NAMED(ENOTDIR),
    NAMED(EISDIR),       NAMED(EINVAL),       NAMED(EMFILE),        NAMED(EFBIG),        NAMED(ENOSPC),
    NAMED(EROFS),        NAMED(EPIPE),        NAMED(ENAMETOOLONG),  NAMED(ELOOP),        NAMED(EDQUOT),
    NAMED(ENOTSOCK),     NAMED(EAFNOSUPPORT), NAMED(EADDRINUSE),    NAMED(EADDRNOTAVAIL), NAMED(ENETDOWN),
    NAMED(ENETUNREACH),  NAMED(ENETRESET),    NAMED(ECONNABORTED),  NAMED(ECONNRESET),   NAMED(ENOBUFS),
    NAMED(ENOTCONN),     NAMED(ETIMEDOUT),    NAMED(ECONNREFUSED),  NAMED(EHOSTDOWN),    NAMED(EHOSTUNREACH),
    NAMED(EPROTO),
    // The resolver's results, kept as the last error (negative here).
    NAMED(EAI_NONAME),   NAMED(EAI_AGAIN),    NAMED(EAI_FAIL),      NAMED(EAI_FAMILY),   NAMED(EAI_SERVICE),
    NAMED(EAI_MEMORY),   NAMED(EAI_SOCKTYPE),
#ifdef EAI_NODATA
    NAMED(EAI_NODATA),
#endif
#ifdef EAI_ADDRFAMILY
    NAMED(EAI_ADDRFAMILY),
#endif
};

#undef NAMED

}  // namespace

const char* system_error_name(int error)
{
    return name_in(NAMES, error);
}

std::string system_error_text(int error)
{
    // The resolver's results have texts of their own.
    if (error < 0)
        return gai_strerror(error);
    return std::strerror(error);
}

#endif
