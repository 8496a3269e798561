#include "driver/fleet_options.h"

#include <cstring>
#include <string>

#include "records/log_output.h"
#include "records/run_context.h"
#include "records/run_slots.h"

namespace {

// A whole number from lowest to highest, or false.
bool take_number(const char* text, int lowest, int highest, int& value)
{
    long long number = 0;
    const char* digit = text;
    for (; *digit >= '0' && *digit <= '9' && number <= highest; ++digit)
        number = number * 10 + (*digit - '0');
    if (digit == text || *digit != '\0' || number < lowest || number > highest)
        return false;
    value = static_cast<int>(number);
    return true;
}

struct NumberOption {
    const char* name;
    int FleetOptions::*field;
    int lowest;
    int highest;
};

constexpr int LARGEST_COUNT = 1000000;
const NumberOption NUMBER_OPTIONS[] = {
    {"--jobs", &FleetOptions::jobs, 1, RUN_SLOTS},
    {"--first", &FleetOptions::first, 1, LARGEST_COUNT},
    {"--time-bound", &FleetOptions::time_bound, 1, LARGEST_COUNT},
    {"--retries", &FleetOptions::retries, 0, LARGEST_COUNT},
    {"--retry-wait", &FleetOptions::retry_wait, 0, LARGEST_COUNT},
    {"--halt", &FleetOptions::halt, 0, LARGEST_COUNT},
    {"--canary", &FleetOptions::canary, 0, LARGEST_COUNT},
};

bool refused(RunContext& fleet, const char* program, const std::string& why)
{
    error_only(fleet, "%s: %s (the fleet mode takes --inventory FILE --output FOLDER -f SCRIPT [--jobs J] "
                      "[--first N] [--time-bound SECONDS] [--retries N] [--retry-wait SECONDS] [--halt N] "
                      "[--canary K] [-q | -v])\n",
               program, why.c_str());
    return false;
}

}  // namespace

bool fleet_mode_asked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--inventory") == 0)
            return true;
    }
    return false;
}

bool parse_fleet_command_line(RunContext& fleet, int argc, char** argv, FleetOptions& options)
{
    if (argc > 0)
        options.program = argv[0];
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "-q" || arg == "-v") {
            options.verbose = arg == "-v";
            continue;
        }
        std::string* text = arg == "--inventory" ? &options.inventory
                            : arg == "--output"  ? &options.output
                            : arg == "-f"        ? &options.script
                                                 : nullptr;
        const NumberOption* number = nullptr;
        for (const NumberOption& option : NUMBER_OPTIONS) {
            if (arg == option.name)
                number = &option;
        }
        if (text == nullptr && number == nullptr)
            return refused(fleet, options.program, "\"" + arg + "\" is no option of the fleet mode");
        if (value == nullptr || *value == '\0')
            return refused(fleet, options.program, "option " + arg + " needs a value");
        if (text != nullptr)
            *text = value;
        else if (!take_number(value, number->lowest, number->highest, options.*(number->field)))
            return refused(fleet, options.program,
                           arg + " takes a whole number from " + std::to_string(number->lowest) + " to " +
                               std::to_string(number->highest) + ", not \"" + value + "\"");
        ++i;
    }
    if (options.inventory.empty() || options.output.empty() || options.script.empty())
        return refused(fleet, options.program, "--inventory, --output and -f are needed");
    return true;
}
