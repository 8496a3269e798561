// Buffering of the program's standard output.
#pragma once

#include <cstdio>

// Standard output that is not a terminal (a file, a pipe, the null device)
// is written in pieces of 64 KB instead of the C library's default: the
// token trace alone is about twice the size of the script. A terminal keeps
// its line buffering. Call before anything is written.
void buffer_console_output();

// Standard error is a terminal (where a transfer's progress line may be
// drawn); a stream is one (a script typed in).
bool standard_error_is_terminal();
bool stream_is_terminal(FILE* stream);
