// The Windows side (file_identity.cpp is the POSIX one). stat() gives no
// inode number there (always 0), so every two files would look the same:
// the file's own handle tells its volume and its index on that volume.
#ifdef _WIN32

#include "platform/file_identity.h"

#include "platform/winsock.h"

namespace {

struct FileIdentity {
    DWORD volume = 0;
    DWORD index_high = 0;
    DWORD index_low = 0;
};

bool identify(const char* name, FileIdentity& identity)
{
    // No access rights are needed to read a file's identity; the sharing
    // flags let it be looked at while anyone has it open. Backup semantics
    // let a folder be opened too.
    HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information{};
    bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known)
        return false;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index_high = information.nFileIndexHigh;
    identity.index_low = information.nFileIndexLow;
    return true;
}

}  // namespace

bool same_file(const char* a, const char* b)
{
    FileIdentity first;
    FileIdentity second;
    if (!identify(a, first) || !identify(b, second))
        return false;
    return first.volume == second.volume && first.index_high == second.index_high &&
           first.index_low == second.index_low;
}

#endif
