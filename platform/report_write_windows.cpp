// The Windows side (report_write.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/report_write.h"

#include <cerrno>

#include "platform/winsock.h"

namespace {

// The caller says why with strerror: the Windows error as the errno that
// means the same (the C library's own calls set errno, these do not).
bool failed_with_system_error()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        errno = ENOENT;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        errno = ENOSPC;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        errno = EEXIST;
        break;
    case ERROR_INVALID_NAME:
        errno = EINVAL;
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        errno = ENOMEM;
        break;
    case ERROR_WRITE_PROTECT:
        errno = EROFS;
        break;
    default:
        errno = EACCES;
        break;
    }
    return false;
}

}  // namespace

bool write_then_rename(const char* temporary, const char* final_name, const char* data, size_t length)
{
    // CREATE_NEW fails on any name that exists, a link included.
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed_with_system_error();
    size_t done = 0;
    while (done < length) {
        DWORD piece = length - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length - done);
        DWORD written = 0;
        if (!WriteFile(file, data + done, piece, &written, nullptr) || written == 0)
            break;
        done += written;
    }
    bool whole = done == length;
    if (!CloseHandle(file))
        whole = false;
    if (whole && MoveFileExA(temporary, final_name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DWORD error = GetLastError();
    DeleteFileA(temporary);
    SetLastError(error);
    return failed_with_system_error();
}

void remove_file_now(const char* name)
{
    DeleteFileA(name);
}

unsigned long process_number()
{
    return GetCurrentProcessId();
}

#endif
