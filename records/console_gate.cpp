#include "records/console_gate.h"

FILE* console_for(RunConsole& console, bool error)
{
    if (console.kept == nullptr)
        return console.out;
    if (error || console.passes > 0)
        return console.kept;
    return nullptr;
}
