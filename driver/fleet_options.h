// The fleet mode's command line: many processors from one process, each
// run as the command line's run would be, J at a time.
#pragma once

#include <string>

struct RunContext;

struct FleetOptions {
    std::string inventory;  // --inventory FILE
    std::string output;     // --output FOLDER
    std::string script;     // -f FILE
    int jobs = 8;           // --jobs J: runs at once
    int first = 1;          // --first N: the number of the inventory's first processor
    int time_bound = 1800;  // --time-bound SECONDS: per processor, all tries together
    int retries = 2;        // --retries N: new tries after a connection that could not be made
    int retry_wait = 10;    // --retry-wait SECONDS: the pause before a new try
    int halt = 0;           // --halt N: no new run after N failures (0: never)
    int canary = 0;         // --canary K: the first K first; the rest only if all of them succeeded
    bool verbose = false;   // -v; else every run is quiet (-q)
    const char* program = "quorvex";
};

// True when the arguments ask for the fleet mode (--inventory among them).
bool fleet_mode_asked(int argc, char** argv);

// The fleet mode's options into options; false after a message on the
// fleet's standard error when they are refused.
bool parse_fleet_command_line(RunContext& fleet, int argc, char** argv, FleetOptions& options);
