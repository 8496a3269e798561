// The Windows side (whole_file.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/whole_file.h"

#include <string>

#include "platform/system_reason.h"
#include "platform/winsock.h"

namespace {

std::string system_reason(DWORD error)
{
    return windows_error_text(error);
}

bool write_all(HANDLE handle, const unsigned char* data, size_t length)
{
    size_t done = 0;
    while (done < length) {
        DWORD piece = length - done > 1u << 30 ? 1u << 30 : static_cast<DWORD>(length - done);
        DWORD wrote = 0;
        if (!WriteFile(handle, data + done, piece, &wrote, nullptr))
            return false;
        if (wrote == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        done += wrote;
    }
    return true;
}

}  // namespace

WholeFile write_file_whole(const char* name, const unsigned char* data, size_t length, std::string& reason)
{
    DWORD attributes = GetFileAttributesA(name);
    bool device = std::string(name).rfind("\\\\.\\", 0) == 0;
    if (device || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            reason = system_reason(GetLastError());
            return WholeFile::not_opened;
        }
        bool written = write_all(handle, data, length);
        DWORD error = GetLastError();
        CloseHandle(handle);
        if (!written)
            reason = system_reason(error);
        return written ? WholeFile::written : WholeFile::not_written;
    }
    std::string temporary = std::string(name) + ".partial-" + std::to_string(GetCurrentProcessId());
    HANDLE handle = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = system_reason(GetLastError());
        return WholeFile::not_opened;
    }
    bool written = write_all(handle, data, length);
    DWORD error = GetLastError();
    if (!CloseHandle(handle) && written) {
        written = false;
        error = GetLastError();
    }
    if (written && !MoveFileExA(temporary.c_str(), name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        error = GetLastError();
    }
    if (!written) {
        DeleteFileA(temporary.c_str());
        reason = system_reason(error);
    }
    return written ? WholeFile::written : WholeFile::not_written;
}

#endif
