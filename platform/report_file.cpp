// The POSIX side (report_file_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t NAME_SIZE = 4096;
char final_name[NAME_SIZE];
char end_temporary[NAME_SIZE];
char signal_temporary[NAME_SIZE];

// name + ".<pid>" + suffix into field, by hand (no snprintf in a handler's reach).
bool make_temporary_name(char* field, const char* name, const char* suffix)
{
    char digits[24];
    size_t count = 0;
    unsigned long pid = static_cast<unsigned long>(getpid());
    do {
        digits[count++] = static_cast<char>('0' + pid % 10);
        pid /= 10;
    } while (pid > 0);
    size_t name_length = strlen(name);
    size_t suffix_length = strlen(suffix);
    if (name_length + 1 + count + suffix_length + 1 > NAME_SIZE)
        return false;
    memcpy(field, name, name_length);
    size_t at = name_length;
    field[at++] = '.';
    while (count > 0)
        field[at++] = digits[--count];
    memcpy(field + at, suffix, suffix_length + 1);
    return true;
}

bool write_through(const char* temporary, const char* data, size_t length)
{
    // O_EXCL with O_CREAT never follows a link: a name that exists fails.
    int descriptor = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return false;
    size_t done = 0;
    while (done < length) {
        ssize_t written = write(descriptor, data + done, length - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    bool whole = done == length;
    if (close(descriptor) != 0)
        whole = false;
    if (whole && std::rename(temporary, final_name) == 0)
        return true;
    int error = errno;
    unlink(temporary);
    errno = error;
    return false;
}

}  // namespace

bool prepare_report_file(const char* name)
{
    final_name[0] = '\0';
    if (strlen(name) >= NAME_SIZE)
        return false;
    if (!make_temporary_name(end_temporary, name, ".tmp") || !make_temporary_name(signal_temporary, name, ".signal.tmp"))
        return false;
    memcpy(final_name, name, strlen(name) + 1);
    return true;
}

bool write_report_file(const char* data, size_t length)
{
    return final_name[0] != '\0' && write_through(end_temporary, data, length);
}

bool write_report_file_now(const char* data, size_t length)
{
    return final_name[0] != '\0' && write_through(signal_temporary, data, length);
}

void discard_report_temporary()
{
    if (final_name[0] != '\0')
        unlink(end_temporary);
}

#endif
