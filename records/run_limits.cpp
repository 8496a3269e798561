#include "records/run_limits.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "records/run_settings.h"

namespace {

using Clock = std::chrono::steady_clock;

long long milliseconds_left(const RunSettings& settings)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(settings.deadline - Clock::now()).count();
}

bool absolute_name(const char* name)
{
    // "/x", and the Windows forms "\\x", "C:x" and "C:\\x" too: a drive's
    // own folder is no business of the run's.
    if (name[0] == '/' || name[0] == '\\')
        return true;
    char drive = name[0];
    return ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) && name[1] == ':';
}

}  // namespace

int wait_milliseconds(const RunSettings& settings, int seconds)
{
    constexpr long long MS_PER_SECOND = 1000;
    long long wait = seconds > 0 ? seconds * MS_PER_SECOND : 0;
    if (!settings.has_deadline)
        return static_cast<int>(wait);
    long long left = milliseconds_left(settings);
    if (left < 1)
        left = 1;
    if (wait == 0 || left < wait)
        wait = left;
    return static_cast<int>(wait);
}

bool deadline_passed(const RunSettings& settings)
{
    return settings.has_deadline && milliseconds_left(settings) <= 0;
}

std::string in_run_folder(const RunSettings& settings, const char* name)
{
    if (settings.folder.empty() || absolute_name(name))
        return name;
    std::string path = settings.folder;
    if (path.back() != '/' && path.back() != '\\')
        path += '/';
    return path + name;
}

void make_run_folder(const RunSettings& settings)
{
    if (settings.folder.empty())
        return;
    // One that cannot be made is met by the write that needed it.
    std::error_code ignored;
    std::filesystem::create_directory(settings.folder, ignored);
}
