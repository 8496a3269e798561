#include <openssl/crypto.h>

#include <string>

#include "driver/command_line.h"
#include "driver/option_table.h"
#include "driver/program_version.h"
#include "records/log_output.h"
#include "records/run_context.h"

std::string usage_text(const char* program_name)
{
    std::string text = "Usage\n";
    text += program_name;
    for (size_t i = 0; i < option_count; ++i) {
        if (option_table[i].usage_synopsis != nullptr)
            text += std::string(" ") + option_table[i].usage_synopsis;
    }
    text += "\r\nWhere:\n";
    for (size_t i = 0; i < option_count; ++i) {
        if (option_table[i].usage_lines != nullptr)
            text += option_table[i].usage_lines;
    }
    return text;
}

void print_usage(RunContext& run)
{
    std::string text = usage_text(run.settings.program_name);
    console_only_text(run, text.data(), text.size());
}

std::string version_text()
{
    return std::string("quorvex ") + QUORVEX_VERSION + "\nTLS library: " + OpenSSL_version(OPENSSL_VERSION) + "\n";
}
