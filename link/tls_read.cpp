#include "link/tls_read.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>

#include "link/connection.h"

int tls_read(char* buffer, int size)
{
    int saved_errno = errno;
    errno = 0;
    int result = SSL_read(connection.tls, buffer, size);
    if (result >= 0) {
        errno = saved_errno;
        return result;
    }
    int reason = SSL_get_error(connection.tls, result);
    unsigned long queued = ERR_peek_error();
    bool closed = reason == SSL_ERROR_ZERO_RETURN ||
                  (reason == SSL_ERROR_SSL && ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING) ||
                  (reason == SSL_ERROR_SYSCALL && queued == 0 && errno == 0);
    if (closed) {
        ERR_clear_error();
        return 0;
    }
    return result;
}
