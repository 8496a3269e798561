// The state of the one run this process carries out.
#pragma once

#include <cstdint>
#include <cstdio>

#include "records/results.h"

struct RunState {
    // 0 = success; any other value is the failure that ends the conversation
    // and finally the exit status.
    int32_t run_status = 0;
    // Set while the parse only checks the script: no traffic at all.
    bool checking_pass = true;
    // Which transport the processor speaks.
    ProcessorGeneration processor_generation = ProcessorGeneration::stream;
    FILE* log_stream = nullptr;
    FILE* script_input = nullptr;
};

extern RunState run_state;
