#include "driver/command_line.h"
#include "driver/option_table.h"
#include "driver/password_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "records/bounded_copy.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "platform/hidden_argument.h"
#include "platform/winsock.h"
#include "prepare/substitution.h"

namespace {

// No arguments at all: the usage text, and the run ends with 0.
CommandLine usage(RunContext& run)
{
    print_usage(run);
    return CommandLine::usage;
}

// A command-line fault: the line that names it (printed by the caller or
// here), then the usage text; the run ends with its own status, so that
// automation never takes a run that did nothing for a success.
CommandLine usage_error(RunContext& run, const char* format = nullptr, const char* word = "")
{
    if (format) {
        log_plain(run, format, word);
        std::string said = format_text(format, word);
        if (said.starts_with("Error: "))
            said.erase(0, 7);
        note_cause(run, Cause::usage, said);
    }
    print_usage(run);
    return CommandLine::usage_error;
}

constexpr const char* NOT_AN_OPTION = "Error: \"%s\" is not an option\n";
constexpr const char* NEEDS_A_VALUE = "Error: option \"%s\" needs a value\n";

constexpr const char* DEFAULT_PORT = "443";


// The port after the colon, or the default. A port longer than its field
// is refused: cut short it would name another port.
bool set_port(RunContext& run, const char* after_colon)
{
    if (!after_colon || *after_colon == '\0') {
        copy_bounded(run.settings.port_text, sizeof run.settings.port_text, DEFAULT_PORT, 3);
        return true;
    }
    if (strlen(after_colon) > static_cast<size_t>(PORT_TEXT_MAX)) {
        log_plain(run, "The port \"%s\" must be %d characters or less\n", after_colon, PORT_TEXT_MAX);
        run.settings.port_text[0] = '\0';
        return false;
    }
    copy_bounded(run.settings.port_text, sizeof run.settings.port_text, after_colon, PORT_TEXT_MAX);
    return true;
}

// "-s value": host name, IPv4 literal or IPv6 literal, each with an
// optional port.
CommandLine take_server_value(RunContext& run, const char* value)
{
    run.settings.server_address[0] = '\0';
    if (strlen(value) > static_cast<size_t>(SERVER_ADDRESS_MAX)) {
        console_only(run, "Server IP address or Fully Qualified Domain Name specified with the 's' option must be 50 characters or less\n");
        return CommandLine::refused;
    }
    const char* open = strchr(value, '[');
    const char* close = open ? strchr(open + 1, ']') : nullptr;
    if (!open) {
        if (is_ipv6_literal(value)) {
            run.settings.ipv6_server = true;
            copy_bounded(run.settings.server_address, sizeof run.settings.server_address, value, SERVER_ADDRESS_MAX);
            set_port(run, nullptr);
        } else {
            const char* colon = strchr(value, ':');
            size_t host_length = colon ? static_cast<size_t>(colon - value) : strlen(value);
            copy_bounded(run.settings.server_address, sizeof run.settings.server_address, value, host_length);
            if (!set_port(run, colon ? colon + 1 : nullptr))
                return CommandLine::refused;
        }
        console_only(run, "Server is %s \n", run.settings.server_address);
        return CommandLine::go_on;
    }
    if (!close) {
        console_only(run, "Error: IP adress or FQDN specified by the 's' option is not formatted correctly\n");
        return usage_error(run);
    }
    copy_bounded(run.settings.server_address, sizeof run.settings.server_address, open + 1,
                 static_cast<size_t>(close - open - 1));
    if (is_ipv6_literal(value))
        run.settings.ipv6_server = true;
    const char* colon = strchr(close, ':');
    if (!set_port(run, colon ? colon + 1 : nullptr))
        return CommandLine::refused;
    console_only(run, "Server is %s \n", run.settings.server_address);
    return CommandLine::go_on;
}

// DEVICEIPADDRESS0 when no -s was given: host, optionally ":port".
bool take_environment_server(RunContext& run, const char* value)
{
    const char* colon = strchr(value, ':');
    size_t host_length = colon ? static_cast<size_t>(colon - value) : strlen(value);
    if (host_length > static_cast<size_t>(SERVER_ADDRESS_MAX)) {
        console_only(run, "Server IP address or Fully Qualified Domain Name in DEVICEIPADDRESS0 must be 50 characters or less\n");
        run.settings.server_address[0] = '\0';
        return false;
    }
    copy_bounded(run.settings.server_address, sizeof run.settings.server_address, value, host_length);
    if (!set_port(run, colon ? colon + 1 : nullptr)) {
        run.settings.server_address[0] = '\0';
        return false;
    }
    return true;
}

// QUORVEX_TIMEOUT: seconds for every wait on the processor, 0 for none;
// set but empty, it leaves the defaults.
bool take_environment_timeout(RunContext& run, const char* value)
{
    long seconds = 0;
    const char* digit = value;
    for (; *digit >= '0' && *digit <= '9' && seconds <= LONGEST_WAIT_SECONDS; ++digit)
        seconds = seconds * 10 + (*digit - '0');
    if (digit == value || *digit != '\0' || seconds > LONGEST_WAIT_SECONDS) {
        console_only(run, "QUORVEX_TIMEOUT must be a number of seconds from 0 (no limit) to %d, not \"%s\"\r\n",
                     LONGEST_WAIT_SECONDS, value);
        return false;
    }
    run.settings.connect_wait_seconds = static_cast<int>(seconds);
    run.settings.data_wait_seconds = static_cast<int>(seconds);
    return true;
}

// A set environment variable's text into field, which keeps its value when
// the variable is not set.
void take_environment_text(const char* name, const char*& field)
{
    if (const char* value = getenv(name))
        field = value;
}

void take_known_processors_mode(RunContext& run)
{
    const char* mode = getenv("QUORVEX_KNOWN_PROCESSORS_MODE");
    run.settings.known_processors_strict = mode != nullptr && strcmp(mode, "strict") == 0;
}

// The -t pairs (from the command line, or QUORVEX_VARIABLES) into the run's
// table and the working copy written with them. go_on also when the pairs
// were refused: refused then turns true and the run (a check too) is
// refused once every option has been read.
CommandLine take_substitution(RunContext& run, const char* pairs, bool& refused)
{
    if (!parse_name_value_pairs(run, pairs)) {
        console_only(run, "Invalid Substituion String\r\n");
        refused = true;
        return CommandLine::go_on;
    }
    switch (substitute_variables(run)) {
    case CopyOutcome::written:
        run.settings.use_working_copy = true;
        break;
    case CopyOutcome::not_written:
        break;
    case CopyOutcome::refused:
        return CommandLine::stop;
    }
    return CommandLine::go_on;
}

// A password given with -p: the run keeps a copy of it, and the argument is
// overwritten so that the process list no longer shows it. Said once.
void take_password_off_the_command_line(RunContext& run, char* argument, bool warned)
{
    run.settings.password_kept = std::make_shared<const std::string>(argument);
    run.settings.password = run.settings.password_kept->c_str();
    hide_argument(argument);
    if (!warned)
        error_only(run, "Warning: a password given with -p can be read by other users of this computer; "
                        "give it with QUORVEX_PASSWORD_FILE instead.\n");
}

// The value of the option at index, or nullptr when none follows it.
const char* next_value(int argc, char** argv, int& index)
{
    if (index + 1 >= argc)
        return nullptr;
    return argv[++index];
}

}  // namespace

CommandLine parse_command_line(RunContext& run, int argc, char** argv)
{
    copy_bounded(run.settings.program_name, sizeof run.settings.program_name, argc > 0 ? argv[0] : "",
                 PROGRAM_NAME_SIZE - 1);
    if (argc < 2)
        return usage(run);
    // Credentials kept out of the process list: the environment gives the
    // values that -u and -p, when present, take the place of.
    take_environment_text("QUORVEX_USER", run.settings.user_name);
    take_environment_text("QUORVEX_PASSWORD", run.settings.password);
    take_environment_text("QUORVEX_KNOWN_PROCESSORS", run.settings.known_processors_file);
    if (run.settings.known_processors_file != nullptr && *run.settings.known_processors_file == '\0')
        run.settings.known_processors_file = nullptr;
    take_known_processors_mode(run);

    bool file_given = false;
    bool server_given = false;
    bool substitution_seen = false;
    bool password_given = false;
    bool password_warned = false;
    bool pairs_refused = false;

    int i = 1;
    // The option's value, the next argument, into field; false when none follows.
    auto take_value = [&](const char*& field) {
        field = next_value(argc, argv, i);
        return field != nullptr;
    };
    for (; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--help") == 0)
            return usage(run);
        if (strcmp(arg, "--version") == 0) {
            std::string text = version_text();
            console_only_text(run, text.data(), text.size());
            return CommandLine::usage;
        }
        const OptionSpec* option = find_option(arg);
        if (option == nullptr)
            return usage_error(run, NOT_AN_OPTION, arg);
        if (option->never_last && i + 1 >= argc)
            return usage_error(run, "Error: option \"%s\" may not be the last argument\n", arg);
        switch (option->letter) {
        case 'c':
            run.settings.check_only = true;
            break;
        case 'f':
            if (!take_value(run.settings.input_file_name))
                return usage_error(run, NEEDS_A_VALUE, arg);
            file_given = true;
            break;
        case 'l':
            if (!take_value(run.settings.log_file_name))
                return usage_error(run, NEEDS_A_VALUE, arg);
            run.settings.log_file_given = true;
            break;
        case 'j':
            if (!take_value(run.settings.report_file_name))
                return usage_error(run, NEEDS_A_VALUE, arg);
            break;
        case 'q':
            run.settings.quiet = true;
            break;
        case 'p':
            if (!take_value(run.settings.password))
                return usage_error(run, NEEDS_A_VALUE, arg);
            password_given = true;
            if (*run.settings.password != '\0') {
                take_password_off_the_command_line(run, argv[i], password_warned);
                password_warned = true;
            }
            break;
        case 'u':
            if (!take_value(run.settings.user_name))
                return usage_error(run, NEEDS_A_VALUE, arg);
            break;
        case 'v':
            run.settings.verbose = true;
            break;
        case 's': {
            if (i + 1 >= argc)
                return usage_error(run, NEEDS_A_VALUE, arg);
            // Only an option counts: a value spelled "-s" (-u -s -s mp1) is a value.
            if (server_given) {
                console_only(run, "Error:option 's' has been used more than once \n");
                return usage_error(run);
            }
            const char* value = argv[++i];
            if (CommandLine taken = take_server_value(run, value); taken != CommandLine::go_on)
                return taken;
            server_given = true;
            break;
        }
        case 't': {
            if (!file_given)
                return usage_error(run, "Error: option \"%s\" must follow option \"-f\"\n", arg);
            if (substitution_seen) {
                console_only(run, "Variable Substitution used twice\r\n");
                return usage_error(run);
            }
            substitution_seen = true;
            const char* value = next_value(argc, argv, i);
            if (value == nullptr)
                return usage_error(run, NEEDS_A_VALUE, arg);
            if (CommandLine taken = take_substitution(run, value, pairs_refused); taken != CommandLine::go_on)
                return taken;
            break;
        }
        default:
            return usage_error(run, NOT_AN_OPTION, arg);
        }
    }

    if (!server_given) {
        const char* environment = getenv("DEVICEIPADDRESS0");
        if (!environment)
            return usage_error(run, "Error: no server: give it with -s or in DEVICEIPADDRESS0\n");
        if (!take_environment_server(run, environment))
            return CommandLine::refused;
        if (run.settings.server_address[0] == '\0' && !run.settings.check_only) {
            console_only(run, "Server Address not in Environment or no server name included on command line!\r\n");
            return CommandLine::refused;
        }
    }
    // QUORVEX_VARIABLES: the -t pairs kept out of the process list, when -t
    // did not give them.
    if (const char* pairs = getenv("QUORVEX_VARIABLES"); pairs && *pairs != '\0' && file_given && !substitution_seen) {
        if (CommandLine taken = take_substitution(run, pairs, pairs_refused); taken != CommandLine::go_on)
            return taken;
    }
    // Refused pairs refuse a check too: without its working copy it would
    // check another script than the run would send.
    if (pairs_refused)
        return CommandLine::stop;
    // The time limit bounds the wait for a password file as well.
    const char* timeout = getenv("QUORVEX_TIMEOUT");
    if (timeout && *timeout != '\0' && !take_environment_timeout(run, timeout))
        return CommandLine::refused;
    // -p, then QUORVEX_PASSWORD, then QUORVEX_PASSWORD_FILE.
    if (!password_given && getenv("QUORVEX_PASSWORD") == nullptr && !take_password_file(run))
        return CommandLine::refused;
    return CommandLine::go_on;
}

bool banner_left_out(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "--version") == 0)
            return true;
        const OptionSpec* option = find_option(argv[i]);
        if (option == nullptr)
            return false;
        if (option->letter == 'q')
            return true;
        // Options with a value skip it.
        if (option->value_name != nullptr)
            ++i;
    }
    return false;
}

void make_ipv6_log_name(const char* address, char* output)
{
    output[0] = '\0';
    if (address[0] == '\0')
        return;
    std::string name = address;
    const size_t length = name.size();
    int groups = name.find('.') != std::string::npos ? 1 : 0;
    for (char& c : name) {
        if (c == ':') {
            c = '.';
            ++groups;
        }
    }
    std::string filler;
    for (int i = groups; i < 8; ++i)
        filler += "0.";
    size_t pair = name.find("..");
    if (pair != std::string::npos) {
        if (pair == 0)
            name = length == 2 ? filler + "0.0" : filler + "0." + name.substr(2);
        else if (pair == length - 2)
            name = name.substr(0, length - 2) + "." + filler + "0";
        else
            name = name.substr(0, pair) + "." + filler + name.substr(pair + 2);
    }
    // A zone suffix can make the name longer than its field: keep the start.
    copy_bounded(output, IPV6_LOG_NAME_SIZE, name.c_str(), IPV6_LOG_NAME_SIZE - 1);
}
