// Buffering of the program's standard output.
#pragma once

// Standard output that is not a terminal (a file, a pipe, the null device)
// is written in pieces of 64 KB instead of the C library's default: the
// token trace alone is about twice the size of the script. A terminal keeps
// its line buffering. Call before anything is written.
void buffer_console_output();
