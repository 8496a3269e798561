#ifndef _WIN32

#include "platform/locked_append.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/retried_calls.h"

LockedAppend append_line_once(const char* path, const std::string& line,
                              const std::function<bool(const std::string& content)>& already_there)
{
    int file = open(path, O_RDWR | O_APPEND | O_CLOEXEC);
    // A new file is made where the name stands, never through a link: with
    // O_EXCL a link, even one to nothing, is a name that exists.
    if (file < 0 && errno == ENOENT)
        file = open(path, O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    // Another run made it in between.
    if (file < 0 && errno == EEXIST)
        file = open(path, O_RDWR | O_APPEND | O_CLOEXEC);
    if (file < 0)
        return LockedAppend::failed;
    if (again_if_interrupted([file] { return flock(file, LOCK_EX); }) != 0) {
        close(file);
        return LockedAppend::failed;
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        ssize_t got = again_if_interrupted([file, &buffer] { return read(file, buffer, sizeof buffer); });
        if (got < 0) {
            close(file);
            return LockedAppend::failed;
        }
        if (got == 0)
            break;
        content.append(buffer, static_cast<size_t>(got));
    }
    LockedAppend result = LockedAppend::already_there;
    if (!already_there(content)) {
        // A file whose last line has no line end gets one first, in the
        // same write.
        std::string text = (!content.empty() && content.back() != '\n') ? "\n" + line : line;
        ssize_t wrote = again_if_interrupted([file, &text] { return write(file, text.data(), text.size()); });
        result = wrote == static_cast<ssize_t>(text.size()) ? LockedAppend::appended : LockedAppend::failed;
    }
    // Closing the file releases the lock.
    if (close(file) != 0)
        result = LockedAppend::failed;
    return result;
}

#endif
