// A one-line display of a long image transfer for the person at the
// terminal: bytes moved, percent and rate, redrawn in place on standard
// error. It draws only when standard error is a terminal, so standard
// output, the log, and everything a run writes when its standard error is a
// file or a pipe stay exactly as they are.
#pragma once

#include <cstdio>

// A transfer of total bytes starts; label names it ("Sending firmware
// image"). Draws the line at once.
void progress_begin(const char* label, long long total);
// bytes more have moved; the line is redrawn a few times a second at most.
void progress_advance(long long bytes);
// The transfer is over, complete or not: the line is drawn a last time with
// the average rate and ended, so it stays on the screen.
void progress_end();
// Takes the line off the screen before other console output; the next
// advance draws it again below that output.
void progress_hide();

// Where the display draws: standard error when the program said it is a
// terminal (it asks the system once, at its start), else nowhere. A test
// gives a stream of its own (nullptr: none).
void progress_standard_error_is_terminal(bool terminal);
void progress_set_output(FILE* stream);
// No transfer under way; the output chosen again at the next transfer.
void reset_progress();
