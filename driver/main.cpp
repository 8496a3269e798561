#include "driver/run.h"
#include "platform/console_output.h"
#include "records/progress_display.h"

int main(int argc, char** argv)
{
    buffer_console_output();
    progress_standard_error_is_terminal(standard_error_is_terminal());
    return run_quorvex(argc, argv);
}
