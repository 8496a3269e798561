// A file that must not outlive the run (the working copy, with every
// substituted value in it): removed by the run's end however it ends, and
// by SIGINT, SIGTERM or SIGHUP, which end the process at any point. Every
// run going at once has a slot of its own (records/run_slots.h); a signal
// cleans up after all of them.
#pragma once

// From now on, name is removed when the process is ended by a signal, or
// when remove_armed_file is called for the slot. One file per slot: a later
// call replaces the earlier name.
void remove_at_process_end(int slot, const char* name);

// Removes the slot's armed file now, if one is armed, and disarms.
void remove_armed_file(int slot);

// The slot's file has been dealt with: nothing is removed for it any more.
void keep_at_process_end(int slot);

// From now on, hook is called for the slot when a signal (on Windows a
// console event) ends the process, with the slot, the signal's number and
// the exit status the process ends with, before any armed file is removed.
// It runs inside the handler: signal-safe calls only. nullptr disarms.
using EndingHook = void (*)(int slot, int signal_number, long long exit_status);
void call_at_process_end(int slot, EndingHook hook);
