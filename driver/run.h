// One run from banner to exit status.
#pragma once

struct RunContext;

// Carries out the run the arguments ask for on run, a fresh context whose
// console (run.console) and progress display (run.progress) the caller has
// chosen; the exit status.
int run_quorvex(RunContext& run, int argc, char** argv);
