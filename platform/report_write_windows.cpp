// The Windows side (report_write.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/report_write.h"

#include "platform/winsock.h"

bool write_then_rename(const char* temporary, const char* final_name, const char* data, size_t length)
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

void remove_file_now(const char* name)
{
    DeleteFileA(name);
}

unsigned long process_number()
{
    return GetCurrentProcessId();
}

#endif
