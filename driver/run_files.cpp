#include "driver/run_files.h"

#include <string>
#include <vector>

#include "driver/command_line.h"
#include "platform/file_identity.h"
#include "prepare/address_file_name.h"
#include "records/log_output.h"
#include "records/run_context.h"
#include "records/run_limits.h"

namespace {

struct NamedFile {
    const char* what;  // as the refusal names it, after "the"
    std::string name;
};

}  // namespace

std::string default_log_name(const RunContext& run)
{
    const RunSettings& settings = run.settings;
    if (settings.ipv6_server) {
        char name[IPV6_LOG_NAME_SIZE];
        make_ipv6_log_name(settings.server_address, name);
        return in_run_folder(settings, name);
    }
    char name[sizeof settings.server_address];
    address_file_name(settings.server_address, name, sizeof name);
    return in_run_folder(settings, name);
}

bool outputs_apart(RunContext& run)
{
    const RunSettings& settings = run.settings;
    std::vector<NamedFile> read;
    if (settings.input_file_name != nullptr)
        read.push_back({"script (-f)", settings.input_file_name});
    if (settings.working_copy_name[0] != '\0')
        read.push_back({"variable substituted copy", settings.working_copy_name});
    std::vector<NamedFile> written;
    // A check without -l logs to the console.
    if (settings.log_file_given)
        written.push_back({"log file (-l)", settings.log_file_name});
    else if (!settings.check_only)
        written.push_back({"log file", default_log_name(run)});
    if (settings.report_file_name != nullptr)
        written.push_back({"run report (-j)", settings.report_file_name});
    // Each output against what is read and against the outputs before it.
    for (size_t i = 0; i < written.size(); ++i) {
        std::vector<NamedFile> others = read;
        others.insert(others.end(), written.begin(), written.begin() + static_cast<long>(i));
        for (const NamedFile& other : others) {
            if (written[i].name.empty() || !one_file(written[i].name.c_str(), other.name.c_str()))
                continue;
            console_only(run, "ERROR: The %s \"%s\" and the %s \"%s\" are one file. Nothing was written or sent.\r\n", written[i].what,
                         written[i].name.c_str(), other.what, other.name.c_str());
            return false;
        }
    }
    return true;
}
