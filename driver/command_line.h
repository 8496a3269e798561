// The command line: options, the server address forms, the usage text and
// the default log file name of an IPv6 server.
#pragma once

// 0 when the run may go on, -1 when it may not. Usage faults end the
// process with exit status 0.
int parse_command_line(int argc, char** argv);

[[noreturn]] void print_usage(const char* program_name);

// Default log file name for an IPv6 server_address, into a 40-byte field;
// empty when there is no server address.
constexpr int IPV6_LOG_NAME_SIZE = 40;
void make_ipv6_log_name(char* output);

const char* get_user_name();
const char* get_password();
