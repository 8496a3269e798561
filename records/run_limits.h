// What a run's deadline and folder make of its waits and its file names.
#pragma once

#include <string>

struct RunSettings;

// The wait, in milliseconds, for a limit of seconds (0: none) cut to the
// time left before the run's deadline; 0 for no limit. A deadline that has
// passed leaves the shortest wait there is (1 ms), never none.
int wait_milliseconds(const RunSettings& settings, int seconds);

// True when the run has a deadline and it has passed.
bool deadline_passed(const RunSettings& settings);

// name as the run opens it: taken from the run's folder unless it is
// absolute or the run has no folder of its own.
std::string in_run_folder(const RunSettings& settings, const char* name);

// Makes the run's folder, if it has one of its own and it is not there
// yet, before the run writes a file in it (a working copy, a received
// image): a run that writes none leaves no folder to make and take away.
void make_run_folder(const RunSettings& settings);
