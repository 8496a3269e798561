// The files a run writes (the log, the run report) against the files it
// reads (the script, its working copy): a run never writes over what it
// reads, nor two of its outputs into one file.
#pragma once

#include <string>

struct RunContext;

// The name of the log file that no -l gave: the server address made a file
// name (an IPv6 address with its groups written out); empty when there is
// none.
std::string default_log_name(const RunContext& run);

// True when the log and the report (-j) are apart from the script, its
// working copy and each other. False, after one line that names the two,
// when any two are one file: the run is refused before it writes anything.
bool outputs_apart(RunContext& run);
