// The state of one run, as it goes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "records/results.h"
#include "records/run_slots.h"
#include "records/run_causes.h"

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
    // The log file's name while it is open, for the report of a failed
    // write; a write of it failed.
    std::string log_name;
    bool log_lost = false;
    // -j: the report is gathered, to be written at the end.
    bool report_wanted = false;
    // Where this run's working copy and report are armed for signals
    // (records/run_slots.h): 0 but for the runs of the fleet mode, each of
    // which has a slot of its own while it goes.
    int slot = 0;
    // The run gave up at its deadline (RunSettings::deadline).
    bool deadline_reached = false;
    // Why the run failed, with its particulars (records/run_causes.h).
    RunCause cause;
};
