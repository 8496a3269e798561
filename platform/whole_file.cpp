// The POSIX side (whole_file_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/whole_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/retried_calls.h"

namespace {

bool write_all(int descriptor, const unsigned char* data, size_t length)
{
    return write_whole([descriptor](const char* bytes, size_t count) { return write(descriptor, bytes, count); },
                       data, length);
}

WholeFile fail(WholeFile how, std::string& reason)
{
    reason = std::strerror(errno);
    return how;
}

}  // namespace

WholeFile write_file_whole(const char* name, const unsigned char* data, size_t length, std::string& reason)
{
    struct stat status {};
    bool exists = stat(name, &status) == 0;
    if (exists && !S_ISREG(status.st_mode)) {
        // A disk or another device takes the bytes where it is.
        int descriptor = open(name, O_WRONLY | O_CLOEXEC);
        if (descriptor < 0)
            return fail(WholeFile::not_opened, reason);
        bool written = write_all(descriptor, data, length);
        int error = errno;
        if (close(descriptor) != 0 && written) {
            written = false;
            error = errno;
        }
        errno = error;
        return written ? WholeFile::written : fail(WholeFile::not_written, reason);
    }
    // Through a link, the file it leads to is the one replaced.
    std::string target = name;
    if (exists) {
        char resolved[PATH_MAX];
        if (realpath(name, resolved) != nullptr)
            target = resolved;
    }
    std::string temporary = target + ".partial-XXXXXX";
    int descriptor = mkstemp(temporary.data());
    if (descriptor < 0)
        return fail(WholeFile::not_opened, reason);
    mode_t mask = umask(0);
    umask(mask);
    mode_t mode = exists ? (status.st_mode & 07777) : (0666 & ~mask);
    bool written = fchmod(descriptor, mode) == 0 && write_all(descriptor, data, length);
    int error = errno;
    if (close(descriptor) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), target.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        errno = error;
        return fail(WholeFile::not_written, reason);
    }
    return WholeFile::written;
}

#endif
