#include "link/tls_io.h"

#include <cerrno>

#include "link/connection.h"

int tls_write(const void* data, int length)
{
    if (connection.tls == nullptr) {
        errno = ENOTCONN;
        return -1;
    }
    // The reason reported for a failure is what the socket layer said
    // during this call, or 0 when it said nothing.
    errno = 0;
    return SSL_write(connection.tls, data, length);
}

int tls_read(void* buffer, int size)
{
    if (connection.tls == nullptr) {
        errno = ENOTCONN;
        return -1;
    }
    errno = 0;
    return SSL_read(connection.tls, buffer, size);
}
