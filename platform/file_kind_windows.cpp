// The Windows side (file_kind.cpp is the POSIX one). stat() does not tell
// a device such as NUL or CON from a file there: the handle's type does.
#ifdef _WIN32

#include "platform/file_kind.h"

#include "platform/winsock.h"

bool readable_at_once(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // No access rights are asked for: only the kind of the handle counts.
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_DISK;
}

bool link_to_nothing(const char* path)
{
    // The attributes are the link's own; opening the name follows it.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

#endif
