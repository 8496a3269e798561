#include "driver/password_file.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/first_line.h"
#include "platform/shared_readable.h"
#include "records/log_output.h"
#include "records/run_context.h"

namespace {

// A refusal of the password file, named as the variable names it.
bool refuse(RunContext& run, const char* shown, const char* what)
{
    log_plain(run, "The password file %s %s\r\n", shown, what);
    return false;
}

}  // namespace

bool take_password_file(RunContext& run)
{
    const char* path = getenv("QUORVEX_PASSWORD_FILE");
    if (path == nullptr || *path == '\0')
        return true;
    bool from_input = strcmp(path, "-") == 0;
    const char* shown = from_input ? "- (standard input)" : path;
    if (!from_input && readable_by_others(path))
        error_only(run, "Warning: the password file %s can be read by others than its owner.\n", path);
    // Waited for as long as a connection would be: a named pipe that no
    // secret store ever writes to must not keep the run waiting for ever.
    int wait_seconds = run.settings.connect_wait_seconds;
    std::string line;
    switch (read_first_line(from_input ? nullptr : path, wait_seconds, line)) {
    case FirstLine::read:
        break;
    case FirstLine::cannot_open:
    case FirstLine::cannot_read:
        return refuse(run, shown, "cannot be read.");
    case FirstLine::timed_out:
        log_plain(run, "The password file %s gave no line within %d second%s (QUORVEX_TIMEOUT). Nothing was sent.\r\n",
                  shown, wait_seconds, wait_seconds == 1 ? "" : "s");
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    // A secret store that failed gives nothing: the script's own password
    // must not go out in its place.
    if (line.empty())
        return refuse(run, shown, "gives no password (its first line is empty). Nothing was sent.");
    // The password would end at the NUL on its way to the processor.
    if (line.find('\0') != std::string::npos)
        return refuse(run, shown, "holds a NUL byte in its first line, which no password can hold. Nothing was sent.");
    // The run keeps the password as long as its settings point to it.
    run.settings.password_kept = std::make_shared<const std::string>(std::move(line));
    run.settings.password = run.settings.password_kept->c_str();
    return true;
}
