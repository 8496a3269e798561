// The POSIX side (first_line_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/first_line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

// The milliseconds left until deadline for poll(): -1 without a limit.
int milliseconds_left(bool bounded, std::chrono::steady_clock::time_point deadline)
{
    if (!bounded)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

FirstLine read_line(int descriptor, int wait_seconds, std::string& line)
{
    const bool bounded = wait_seconds > 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait_seconds);
    for (;;) {
        // A named pipe opened without waiting reads as ended while no writer
        // has come yet: poll() waits for one, and for its bytes.
        pollfd source{descriptor, POLLIN, 0};
        int ready = poll(&source, 1, milliseconds_left(bounded, deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return FirstLine::cannot_read;
        if (ready == 0)
            return FirstLine::timed_out;
        // One byte at a time: nothing after the line's end is taken.
        char c;
        ssize_t got = read(descriptor, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            return FirstLine::cannot_read;
        if (got == 0 || c == '\n')
            return FirstLine::read;
        line.push_back(c);
    }
}

}  // namespace

FirstLine read_first_line(const char* path, int wait_seconds, std::string& line)
{
    line.clear();
    if (path == nullptr)
        return read_line(STDIN_FILENO, wait_seconds, line);
    int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return FirstLine::cannot_open;
    FirstLine result = read_line(descriptor, wait_seconds, line);
    close(descriptor);
    return result;
}

#endif
