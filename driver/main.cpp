#include "driver/fleet_options.h"
#include "driver/fleet_run.h"
#include "driver/run.h"
#include "platform/console_mode.h"
#include "platform/console_output.h"
#include "records/run_context.h"

int main(int argc, char** argv)
{
    buffer_console_output();
    use_binary_console();
    RunContext run;
    if (fleet_mode_asked(argc, argv)) {
        // The fleet's own messages; each processor's run has a context of its own.
        constexpr int USAGE_ERROR = 64;
        FleetOptions options;
        if (!parse_fleet_command_line(run, argc, argv, options))
            return USAGE_ERROR;
        return run_fleet(run, options);
    }
    // The progress of a long transfer is drawn where a person watches.
    if (standard_error_is_terminal())
        run.progress.output = stderr;
    return run_quorvex(run, argc, argv);
}
