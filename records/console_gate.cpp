#include "records/console_gate.h"

FILE* quiet_console = nullptr;

namespace {
int passes = 0;
}  // namespace

FILE* console_for(bool error)
{
    if (quiet_console != nullptr && (error || passes > 0))
        return quiet_console;
    return stdout;
}

ConsolePass::ConsolePass()
{
    ++passes;
}

ConsolePass::~ConsolePass()
{
    --passes;
}
