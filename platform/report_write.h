// The system's part of writing the run report whole (platform/report_file):
// each call is safe inside a signal handler (system calls only).
#pragma once

#include <cstddef>

// Writes data to temporary, a file made anew (never through an existing
// name or link), then renames it to final_name; false (the system's error
// kept) when any step failed, and then temporary is gone.
bool write_then_rename(const char* temporary, const char* final_name, const char* data, size_t length);
// Removes a file by name.
void remove_file_now(const char* name);
// The process's number, for names no other process picks.
unsigned long process_number();
