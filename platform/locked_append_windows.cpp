#ifdef _WIN32

#include "platform/locked_append.h"

#include <windows.h>

LockedAppend append_line_once(const char* path, const std::string& line,
                              const std::function<bool(const std::string& content)>& already_there)
{
    auto open_as = [path](DWORD disposition, DWORD flags) {
        return CreateFileA(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           disposition, flags, nullptr);
    };
    HANDLE file = open_as(OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    // A new file is made where the name stands, never through a link: the
    // reparse point itself, even one that leads to nothing, is a name that
    // exists.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
        file = open_as(CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    // Another run made it in between.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
        file = open_as(OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE)
        return LockedAppend::failed;
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(file);
        return LockedAppend::failed;
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
            CloseHandle(file);
            return LockedAppend::failed;
        }
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    LockedAppend result = LockedAppend::already_there;
    if (!already_there(content)) {
        std::string text = (!content.empty() && content.back() != '\n') ? "\n" + line : line;
        // A handle opened for appending alone writes at the end of the file.
        DWORD wrote = 0;
        bool whole_write = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) &&
                           wrote == text.size();
        result = whole_write ? LockedAppend::appended : LockedAppend::failed;
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    if (!CloseHandle(file))
        result = LockedAppend::failed;
    return result;
}

#endif
