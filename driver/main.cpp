#include "driver/run.h"
#include "platform/console_output.h"

int main(int argc, char** argv)
{
    buffer_console_output();
    return run_quorvex(argc, argv);
}
