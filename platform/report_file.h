// A file written whole or not at all: the text goes to a temporary file in
// the same folder (created anew, never through an existing name or link),
// which then takes the file's name in one rename.
#pragma once

#include <cstddef>

// Each run going at once has names of its own: the slot of its run
// (records/run_slots.h).

// Remembers name for the writes below and makes the temporary names (one
// for the run's end, one for a signal). False when the name is too long.
bool prepare_report_file(int slot, const char* name);

// Writes data as the file prepared; false (errno or the system's error
// kept) when any step failed, and then no temporary file stays behind.
bool write_report_file(int slot, const char* data, size_t length);

// The same, safe inside a signal handler (system calls only).
bool write_report_file_now(int slot, const char* data, size_t length);

// Signal-safe: removes the temporary file of a write_report_file that a
// signal interrupts.
void discard_report_temporary(int slot);
