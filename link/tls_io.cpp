#include "link/tls_io.h"

#include <cerrno>

#include "link/connection.h"

int tls_write(const void* data, int length)
{
    if (connection.tls == nullptr) {
        errno = ENOTCONN;
        return -1;
    }
    return SSL_write(connection.tls, data, length);
}

int tls_read(void* buffer, int size)
{
    if (connection.tls == nullptr) {
        errno = ENOTCONN;
        return -1;
    }
    return SSL_read(connection.tls, buffer, size);
}
