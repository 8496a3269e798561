// The POSIX side of the bounded socket waits (socket_wait_windows.cpp is
// the other).
#ifndef _WIN32

#include "platform/socket_wait.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>

#include "platform/retried_calls.h"

int connect_bounded(int socket_handle, const sockaddr* address, unsigned address_length, int milliseconds)
{
    if (milliseconds <= 0)
        return connect(socket_handle, address, address_length);
    int flags = fcntl(socket_handle, F_GETFL);
    if (flags < 0 || fcntl(socket_handle, F_SETFL, flags | O_NONBLOCK) < 0)
        return -1;
    int result = connect(socket_handle, address, address_length);
    if (result != 0 && errno == EINPROGRESS) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        pollfd wanted{socket_handle, POLLOUT, 0};
        // Interrupted, the wait goes on for the time that is left.
        int ready = again_if_interrupted([&] {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            return poll(&wanted, 1, left > 0 ? static_cast<int>(left) : 0);
        });
        if (ready == 0) {
            errno = ETIMEDOUT;
        } else if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(socket_handle, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                result = 0;
            else
                errno = error != 0 ? error : errno;
        }
    }
    int saved = errno;
    fcntl(socket_handle, F_SETFL, flags);
    errno = saved;
    return result == 0 ? 0 : -1;
}

void bound_socket_waits(int socket_handle, int milliseconds)
{
    constexpr int MS_PER_SECOND = 1000;
    timeval limit{};
    if (milliseconds > 0) {
        limit.tv_sec = milliseconds / MS_PER_SECOND;
        limit.tv_usec = static_cast<suseconds_t>(milliseconds % MS_PER_SECOND) * MS_PER_SECOND;
    }
    setsockopt(socket_handle, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(socket_handle, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool last_wait_timed_out()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == ETIMEDOUT;
}

void set_wait_timed_out()
{
    errno = ETIMEDOUT;
}

#endif
