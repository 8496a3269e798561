// One run from banner to exit status.
#pragma once

int run_quorvex(int argc, char** argv);

// Puts every record of a run back to its start, layer by layer, as a fresh
// process has them (for tests and fuzzing harnesses that run many times in
// one process). The link and the script's reader are the run's own: each
// run makes new ones.
void reset_run();
