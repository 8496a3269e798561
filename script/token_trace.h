// The token trace of the script: on the run's console alone, unformatted,
// a line at a time; a quiet console (-q) shows none of it.
#pragma once

#include <cstddef>

#include "platform/console_write.h"
#include "records/run_context.h"

inline void trace_text(RunContext& run, const char* text, size_t length)
{
    if (run.console.kept == nullptr)
        trace_write(text, length, run.console.out);
}
