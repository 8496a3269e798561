#include "driver/run.h"
#include "platform/console_mode.h"
#include "platform/console_output.h"
#include "records/run_context.h"

int main(int argc, char** argv)
{
    buffer_console_output();
    use_binary_console();
    RunContext run;
    // The progress of a long transfer is drawn where a person watches.
    if (standard_error_is_terminal())
        run.progress.output = stderr;
    return run_quorvex(run, argc, argv);
}
