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

// From now on, hook is called first when a signal (on Windows a console
// event) ends the process, with the signal's number and the exit status
// the process ends with. It runs inside the handler: signal-safe calls only.
using EndingHook = void (*)(int signal_number, long long exit_status);
void call_at_process_end(EndingHook hook);
