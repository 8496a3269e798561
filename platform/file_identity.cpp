// The POSIX side (file_identity_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/file_identity.h"

#include <sys/stat.h>

#include <string>
#include <utility>

bool same_file(const char* a, const char* b)
{
    struct stat first {}, second {};
    if (stat(a, &first) != 0 || stat(b, &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {

// name split at its last slash: the folder ("." when none) and the last name.
std::pair<std::string, std::string> folder_and_name(const std::string& name)
{
    size_t slash = name.find_last_of('/');
    if (slash == std::string::npos)
        return {".", name};
    return {slash == 0 ? "/" : name.substr(0, slash), name.substr(slash + 1)};
}

}  // namespace

bool one_file(const char* a, const char* b)
{
    struct stat first {}, second {};
    bool first_exists = stat(a, &first) == 0;
    bool second_exists = stat(b, &second) == 0;
    if (first_exists || second_exists)
        return first_exists && second_exists && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    auto [first_folder, first_name] = folder_and_name(a);
    auto [second_folder, second_name] = folder_and_name(b);
    return first_name == second_name && (first_folder == second_folder || same_file(first_folder.c_str(), second_folder.c_str()));
}

#endif
