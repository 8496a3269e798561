// The command line: options, the server address forms, the usage text and
// the default log file name of an IPv6 server.
#pragma once

#include <string>

struct RunContext;

enum class [[nodiscard]] CommandLine {
    go_on,    // the run may go on
    refused,  // it may not (-1), unless only a check was asked for
    stop,     // it may not (-1), not even for a check
    usage,        // no arguments at all: the usage text, and the run ends with 0
    usage_error,  // a command-line fault: one line naming it, the usage text, exit 64
};

// Fills the run's settings and -t values from the arguments (and the
// environment).
CommandLine parse_command_line(RunContext& run, int argc, char** argv);

// -q is among the options (the banner is left out before the command line
// is read).
bool quiet_option_given(int argc, char** argv);

// The usage text, and its printing.
std::string usage_text(const char* program_name);
void print_usage(RunContext& run);

// Default log file name for an IPv6 server address, into a 40-byte field;
// empty when the address is.
constexpr int IPV6_LOG_NAME_SIZE = 40;
void make_ipv6_log_name(const char* address, char* output);
