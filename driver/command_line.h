// The command line: options, the server address forms, the usage text and
// the default log file name of an IPv6 server.
#pragma once

#include <string>

struct RunContext;

enum class [[nodiscard]] CommandLine {
    go_on,    // the run may go on
    refused,  // it may not (-1), unless only a check was asked for
    stop,     // it may not (-1), not even for a check
    usage,        // no arguments, --help or --version: the text asked for, and the run ends with 0
    usage_error,  // a command-line fault: one line naming it, the usage text, exit 64
};

// Fills the run's settings and -t values from the arguments (and the
// environment).
CommandLine parse_command_line(RunContext& run, int argc, char** argv);

// The banner is left out: -q is among the options, or --help or --version,
// which print only what they are asked for (looked at before the command
// line is read).
bool banner_left_out(int argc, char** argv);

// The usage text, and its printing.
std::string usage_text(const char* program_name);
void print_usage(RunContext& run);

// What --version prints: the program, its version and the TLS library
// built into it.
std::string version_text();

// Default log file name for an IPv6 server address, into a 40-byte field;
// empty when the address is.
constexpr int IPV6_LOG_NAME_SIZE = 40;
void make_ipv6_log_name(const char* address, char* output);
