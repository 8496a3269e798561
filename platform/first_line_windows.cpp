// The Windows side (first_line.cpp is the POSIX one). Windows has no poll()
// for files: a pipe (standard input from another program) is looked into
// until bytes or its end are there; a file or a console is read as it is.
#ifdef _WIN32

#include "platform/first_line.h"

#include <chrono>

#include "platform/winsock.h"

namespace {

constexpr DWORD LOOK_AGAIN_MS = 20;

FirstLine read_line(HANDLE handle, int wait_seconds, std::string& line)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait_seconds);
    bool pipe = GetFileType(handle) == FILE_TYPE_PIPE;
    for (;;) {
        if (pipe) {
            DWORD available = 0;
            if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
                if (GetLastError() == ERROR_BROKEN_PIPE)
                    return FirstLine::read;  // the writer is gone: the end
                pipe = false;  // a pipe that cannot be looked into is read as it is
            } else if (available == 0) {
                if (wait_seconds > 0 && std::chrono::steady_clock::now() >= deadline)
                    return FirstLine::timed_out;
                Sleep(LOOK_AGAIN_MS);
                continue;
            }
        }
        char c;
        DWORD got = 0;
        if (!ReadFile(handle, &c, 1, &got, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE ? FirstLine::read : FirstLine::cannot_read;
        if (got == 0 || c == '\n')
            return FirstLine::read;
        line.push_back(c);
    }
}

}  // namespace

FirstLine read_first_line(const char* path, int wait_seconds, std::string& line)
{
    line.clear();
    if (path == nullptr) {
        HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        if (input == INVALID_HANDLE_VALUE || input == nullptr)
            return FirstLine::cannot_open;
        return read_line(input, wait_seconds, line);
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FirstLine::cannot_open;
    FirstLine result = read_line(file, wait_seconds, line);
    CloseHandle(file);
    return result;
}

#endif
