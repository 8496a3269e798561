#ifdef _WIN32

#include "platform/system_error_name.h"

#include <winsock2.h>

#include <cerrno>
#include <cstring>

#include "platform/system_reason.h"

namespace {

#define NAMED QUORVEX_ERROR_NAME

constexpr ErrorName NAMES[] = {
    // The C library's, for files.
    NAMED(EPERM),              NAMED(ENOENT),           NAMED(EIO),               NAMED(EBADF),
    NAMED(EACCES),             NAMED(EEXIST),           NAMED(ENOTDIR),           NAMED(EISDIR),
    NAMED(EINVAL),             NAMED(EMFILE),           NAMED(EFBIG),             NAMED(ENOSPC),
    NAMED(EROFS),              NAMED(ENAMETOOLONG),
    // The socket layer's, and the resolver's.
    NAMED(WSAEINTR),           NAMED(WSAEACCES),        NAMED(WSAEWOULDBLOCK),    NAMED(WSAENOTSOCK),
    NAMED(WSAEAFNOSUPPORT),    NAMED(WSAEADDRINUSE),    NAMED(WSAEADDRNOTAVAIL),  NAMED(WSAENETDOWN),
    NAMED(WSAENETUNREACH),     NAMED(WSAENETRESET),     NAMED(WSAECONNABORTED),   NAMED(WSAECONNRESET),
    NAMED(WSAENOBUFS),         NAMED(WSAENOTCONN),      NAMED(WSAETIMEDOUT),      NAMED(WSAECONNREFUSED),
    NAMED(WSAEHOSTDOWN),       NAMED(WSAEHOSTUNREACH),  NAMED(WSAHOST_NOT_FOUND), NAMED(WSATRY_AGAIN),
    NAMED(WSANO_RECOVERY),     NAMED(WSANO_DATA),       NAMED(WSATYPE_NOT_FOUND),
};

#undef NAMED

}  // namespace

const char* system_error_name(int error)
{
    return name_in(NAMES, error);
}

std::string system_error_text(int error)
{
    // The socket layer's numbers start at WSABASEERR; below are the C
    // library's.
    if (error >= WSABASEERR)
        return windows_error_text(static_cast<unsigned long>(error));
    return std::strerror(error);
}

#endif
