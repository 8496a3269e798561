// The Windows side of the bounded socket waits (socket_wait.cpp is the
// POSIX one).
#ifdef _WIN32

#include "platform/socket_wait.h"

#include "platform/winsock.h"

int connect_bounded(int socket_handle, const sockaddr* address, unsigned address_length, int milliseconds)
{
    SOCKET handle = static_cast<SOCKET>(socket_handle);
    int length = static_cast<int>(address_length);
    if (milliseconds <= 0)
        return connect(handle, address, length) == 0 ? 0 : -1;
    u_long non_blocking = 1;
    if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0)
        return -1;
    int result = connect(handle, address, length);
    if (result != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
        // Windows reports a connection that failed among the exceptions,
        // not as writable.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(handle, &writable);
        FD_SET(handle, &failed);
        timeval limit{};
        limit.tv_sec = milliseconds / 1000;
        limit.tv_usec = (milliseconds % 1000) * 1000;
        int ready = select(0, nullptr, &writable, &failed, &limit);
        if (ready == 0) {
            WSASetLastError(WSAETIMEDOUT);
        } else if (ready > 0 && FD_ISSET(handle, &writable)) {
            result = 0;
        } else if (ready > 0) {
            int error = 0;
            int error_length = sizeof error;
            getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &error_length);
            WSASetLastError(error != 0 ? error : WSAECONNREFUSED);
        }
    }
    // New sockets block; the connected one goes back to that.
    int saved = WSAGetLastError();
    u_long blocking = 0;
    ioctlsocket(handle, FIONBIO, &blocking);
    WSASetLastError(saved);
    return result == 0 ? 0 : -1;
}

void bound_socket_waits(int socket_handle, int milliseconds)
{
    // Windows takes the limit in milliseconds, as a DWORD.
    DWORD limit = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
    SOCKET handle = static_cast<SOCKET>(socket_handle);
    setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

bool last_wait_timed_out()
{
    int error = WSAGetLastError();
    return error == WSAETIMEDOUT || error == WSAEWOULDBLOCK;
}

void set_wait_timed_out()
{
    WSASetLastError(WSAETIMEDOUT);
}

#endif
