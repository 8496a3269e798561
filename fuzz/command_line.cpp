// The command line: options in both spellings, the server address forms,
// the -t list, the environment. Input: the arguments, each ended by a zero
// byte; an argument "@ENV=value" sets the environment variable ENV instead
// (DEVICEIPADDRESS0, QUORVEX_TIMEOUT, QUORVEX_USER or QUORVEX_PASSWORD).
#include "fuzz/harness.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/command_line.h"
#include "records/run_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RunContext& run = harness_new_run().run;
    FuzzInput input(data, size);
    static const char* const ENVIRONMENT[] = {"DEVICEIPADDRESS0", "QUORVEX_TIMEOUT", "QUORVEX_USER",
                                              "QUORVEX_PASSWORD"};
    for (const char* name : ENVIRONMENT)
        unsetenv(name);
    std::vector<std::string> arguments{"quorvex"};
    while (input.size() > 0 && arguments.size() < 64) {
        std::string argument = input.take_text();
        size_t equals = argument.find('=');
        if (argument.starts_with("@") && equals != std::string::npos) {
            std::string name = argument.substr(1, equals - 1);
            for (const char* known : ENVIRONMENT)
                if (name == known)
                    setenv(known, argument.c_str() + equals + 1, 1);
            continue;
        }
        arguments.push_back(argument);
    }
    // A server name with a slash would put the working copy of -t in another
    // folder: the harness keeps every file it makes in its own.
    for (size_t i = 1; i < arguments.size(); ++i)
        if (arguments[i].find('/') != std::string::npos && arguments[i].size() > 2)
            return 0;
    if (const char* environment = getenv("DEVICEIPADDRESS0"); environment && std::strchr(environment, '/'))
        return 0;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    CommandLine result = parse_command_line(run, static_cast<int>(arguments.size()), argv.data());
    FUZZ_REQUIRE(result == CommandLine::go_on || result == CommandLine::refused || result == CommandLine::usage ||
                 result == CommandLine::usage_error || result == CommandLine::stop);
    FUZZ_REQUIRE(std::strlen(run.settings.server_address) <= static_cast<size_t>(SERVER_ADDRESS_MAX));
    FUZZ_REQUIRE(std::memchr(run.settings.port_text, 0, sizeof run.settings.port_text) != nullptr);
    FUZZ_REQUIRE(std::memchr(run.settings.working_copy_name, 0, sizeof run.settings.working_copy_name) != nullptr);
    FUZZ_REQUIRE(run.settings.connect_wait_seconds >= 0 && run.settings.connect_wait_seconds <= LONGEST_WAIT_SECONDS);
    FUZZ_REQUIRE(run.settings.data_wait_seconds >= 0 && run.settings.data_wait_seconds <= LONGEST_WAIT_SECONDS);
    // The address and the port keep their limits; what they name is the
    // connection's to judge (an empty or unknown name fails it).
    FUZZ_REQUIRE(std::strlen(run.settings.port_text) <= static_cast<size_t>(PORT_TEXT_MAX));
    if (result == CommandLine::go_on && !run.settings.check_only)
        FUZZ_REQUIRE(run.settings.port_text[0] != '\0');
    FUZZ_REQUIRE(documented_run_status(run.state.run_status, 0));
    // The working copy that -t wrote goes with the run.
    if (run.settings.working_copy_name[0] != '\0')
        std::remove(run.settings.working_copy_name);
    return 0;
}
