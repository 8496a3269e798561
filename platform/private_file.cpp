// The POSIX side (private_file_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/private_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int NEW_FILE_FLAGS = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

FILE* create_private_file(const char* name, std::string& reason)
{
    int descriptor = open(name, NEW_FILE_FLAGS, S_IRUSR | S_IWUSR);
    if (descriptor < 0 && errno == EEXIST) {
        // A copy left from before may go, if it is a plain file of ours:
        // its name is taken away and a new file made, so neither a link nor
        // a file swapped in meanwhile is ever written through (the new
        // create fails on whatever stands there then).
        struct stat status {};
        if (lstat(name, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
            reason = "it exists and is not a regular file of this user (a link, a folder, another user's file)";
            return nullptr;
        }
        if (unlink(name) == 0)
            descriptor = open(name, NEW_FILE_FLAGS, S_IRUSR | S_IWUSR);
    }
    if (descriptor < 0) {
        reason = errno == ELOOP ? "it is a link" : std::strerror(errno);
        return nullptr;
    }
    // The process's umask may only narrow the permissions; make sure.
    if (fchmod(descriptor, S_IRUSR | S_IWUSR) != 0) {
        reason = std::strerror(errno);
        close(descriptor);
        unlink(name);
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        close(descriptor);
        unlink(name);
    }
    return file;
}

FILE* open_private_file(const char* name)
{
    int descriptor = open(name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    FILE* file = fdopen(descriptor, "rb");
    if (file == nullptr)
        close(descriptor);
    return file;
}

FILE* open_log_output(const char* name, bool follow_links)
{
    int flags = O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW);
    int descriptor = open(name, flags, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        return nullptr;
    FILE* file = fdopen(descriptor, "w+b");
    if (file == nullptr) {
        int error = errno;
        close(descriptor);
        errno = error;
    }
    return file;
}

#endif
