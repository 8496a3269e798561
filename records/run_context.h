// The run context: everything one run reads and changes below the link and
// the script reader: the settings the command line gave, the run's state,
// the -t values, its console, its progress display, the passwords it masks
// in the processor's answers and the report it gathers. The run makes one and passes it down; nothing of a run lives
// anywhere else, so two contexts share nothing and two runs can go side by
// side in one process.
#pragma once

#include <memory>

#include "records/console_gate.h"
#include "records/progress_display.h"
#include "records/run_secrets.h"
#include "records/run_settings.h"
#include "records/run_state.h"
#include "records/variable_table.h"

// What the run report gathers; its own file holds it.
struct ReportGathering;
struct ReportGatheringDelete {
    void operator()(ReportGathering* gathering) const;
};
ReportGathering* new_report_gathering();

struct RunContext {
    RunContext();
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;
    // A context made afresh in place of another (`run = RunContext{}`)
    // keeps its address, so what points to it sees the fresh run.
    RunContext(RunContext&&) = default;
    RunContext& operator=(RunContext&&) = default;

    RunSettings settings;
    RunState state;
    VariableTable variables;
    RunConsole console;
    ProgressDisplay progress;
    RunSecrets secrets;
    std::unique_ptr<ReportGathering, ReportGatheringDelete> report;
};
