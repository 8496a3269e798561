// The Windows side (file_identity.cpp is the POSIX one). stat() gives no
// inode number there (always 0), so every two files would look the same:
// the file's own handle tells its volume and its index on that volume.
#ifdef _WIN32

#include "platform/file_identity.h"

#include <cstring>
#include <string>
#include <utility>

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

// name split after its last slash, backslash or drive colon: the folder
// ("." when none) and the last name.
std::pair<std::string, std::string> folder_and_name(const std::string& name)
{
    size_t cut = name.find_last_of("/\\:");
    if (cut == std::string::npos)
        return {".", name};
    std::string folder = name.substr(0, cut + 1);
    // "C:" alone is that drive's current folder; "\\" and "C:\\" its root.
    if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') && folder[folder.size() - 2] != ':')
        folder.pop_back();
    if (folder.size() == 2 && folder[1] == ':')
        folder += '.';
    return {folder, name.substr(cut + 1)};
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

bool one_file(const char* a, const char* b)
{
    FileIdentity first;
    FileIdentity second;
    bool first_exists = identify(a, first);
    bool second_exists = identify(b, second);
    if (first_exists || second_exists)
        return first_exists && second_exists && first.volume == second.volume &&
               first.index_high == second.index_high && first.index_low == second.index_low;
    auto [first_folder, first_name] = folder_and_name(a);
    auto [second_folder, second_name] = folder_and_name(b);
    return _stricmp(first_name.c_str(), second_name.c_str()) == 0 &&
           (_stricmp(first_folder.c_str(), second_folder.c_str()) == 0 ||
            same_file(first_folder.c_str(), second_folder.c_str()));
}

#endif
