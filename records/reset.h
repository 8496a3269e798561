// Puts the run's records back to their start: settings, run state,
// firmware reference, progress display.
#pragma once

void reset_records();
