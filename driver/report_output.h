// The run report (-j) and the quiet console (-q) around one run.
#pragma once

struct RunContext;

// After the command line: starts gathering the report when -j was given
// (a signal that ends the run then still leaves a short report), and quiets
// the console under -q. False when -j was given and no report can be
// written (a build without it, a name too long): the run is refused.
bool begin_run_outputs(RunContext& run);

// The transport the probe found, for the report.
void note_transport(RunContext& run);

// Under -q in HTTP mode: the answers a person needs, on the console.
void show_quiet_answers(RunContext& run);

// Writes the report for the process's exit status; the exit status to end
// with: 74 when the report could not be written and the run otherwise
// succeeded, else exit_status.
int finish_run_outputs(RunContext& run, int exit_status);
