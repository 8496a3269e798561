// A file that must not outlive the run (the working copy, with every
// substituted value in it): removed by the run's end however it ends, and
// by SIGINT, SIGTERM or SIGHUP, which end the process at any point.
#pragma once

// From now on, name is removed when the process is ended by a signal, or
// when remove_armed_file is called. One file at a time: a later call
// replaces the earlier name.
void remove_at_process_end(const char* name);

// Removes the armed file now, if one is armed, and disarms.
void remove_armed_file();

// The file has been dealt with: nothing is removed any more.
void keep_at_process_end();
