// The Windows side (report_file.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/report_file.h"

#include <cstdio>
#include <cstring>

#include "platform/winsock.h"

namespace {

constexpr size_t NAME_SIZE = 4096;
char final_name[NAME_SIZE];
char end_temporary[NAME_SIZE];
char signal_temporary[NAME_SIZE];

bool make_temporary_name(char* field, const char* name, const char* suffix)
{
    int length = std::snprintf(field, NAME_SIZE, "%s.%lu%s", name, GetCurrentProcessId(), suffix);
    return length > 0 && static_cast<size_t>(length) < NAME_SIZE;
}

bool write_through(const char* temporary, const char* data, size_t length)
{
    // CREATE_NEW fails on any name that exists, a link included.
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
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
    DeleteFileA(temporary);
    return false;
}

}  // namespace

bool prepare_report_file(const char* name)
{
    final_name[0] = '\0';
    if (std::strlen(name) >= NAME_SIZE)
        return false;
    if (!make_temporary_name(end_temporary, name, ".tmp") || !make_temporary_name(signal_temporary, name, ".signal.tmp"))
        return false;
    std::memcpy(final_name, name, std::strlen(name) + 1);
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
        DeleteFileA(end_temporary);
}

#endif
