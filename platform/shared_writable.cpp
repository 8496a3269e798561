// The POSIX side (shared_writable_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/shared_writable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr mode_t OTHERS_WRITE = S_IWGRP | S_IWOTH;

// Neither the running user nor the administrator.
bool foreign(uid_t owner)
{
    return owner != geteuid() && owner != 0;
}

// The folder that holds the name path.
std::string folder_of(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why others could change what the folder holds: its owner or its write
// permission; a sticky folder keeps them from a file of the user's own.
std::string folder_reason(const std::string& folder, bool own_file)
{
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0)
        return {};
    if (foreign(status.st_uid))
        return "its folder " + folder + " belongs to another user";
    if ((status.st_mode & OTHERS_WRITE) != 0 && !((status.st_mode & S_ISVTX) != 0 && own_file))
        return "the group or others may write to its folder " + folder;
    return {};
}

}  // namespace

std::string changeable_by_others(const char* path)
{
    struct stat name {};
    struct stat file {};
    bool named = lstat(path, &name) == 0;
    bool exists = stat(path, &file) == 0;
    if (named && S_ISLNK(name.st_mode) && foreign(name.st_uid))
        return "it is a link that belongs to another user";
    if (exists && foreign(file.st_uid))
        return "it belongs to another user";
    if (exists && (file.st_mode & OTHERS_WRITE) != 0)
        return "the group or others may write to it";
    // Past the tests above, a file that exists is the user's own.
    std::string reason = folder_reason(folder_of(path), exists);
    if (!reason.empty() || !exists || !S_ISLNK(name.st_mode))
        return reason;
    // Through a link: the folder of the file it leads to as well.
    std::unique_ptr<char, decltype(&free)> target(realpath(path, nullptr), &free);
    return target ? folder_reason(folder_of(target.get()), true) : std::string();
}

#endif
