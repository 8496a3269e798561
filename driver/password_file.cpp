#include "driver/password_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/shared_readable.h"
#include "records/log_output.h"
#include "records/run_context.h"

bool take_password_file(RunContext& run)
{
    const char* path = getenv("QUORVEX_PASSWORD_FILE");
    if (path == nullptr || *path == '\0')
        return true;
    bool from_input = strcmp(path, "-") == 0;
    FILE* file = from_input ? stdin : fopen(path, "rb");
    if (file == nullptr) {
        log_plain(run, "The password file %s cannot be read.\r\n", path);
        return false;
    }
    if (!from_input && readable_by_others(file))
        error_only(run, "Warning: the password file %s can be read by others than its owner.\n", path);
    std::string line;
    int c;
    while ((c = getc(file)) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    bool failed = ferror(file) != 0;
    if (!from_input)
        fclose(file);
    if (failed) {
        log_plain(run, "The password file %s cannot be read.\r\n", path);
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    // The run keeps the password as long as its settings point to it.
    run.settings.password_from_file = std::make_shared<const std::string>(std::move(line));
    run.settings.password = run.settings.password_from_file->c_str();
    return true;
}
