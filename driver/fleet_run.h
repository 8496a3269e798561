// The fleet mode: every processor of an inventory, J at a time, as threads
// of this process. Each run has its own context, console output, log,
// report, folder and slot for signals; laid out in the output folder as
//
//   logs/NAME.out    the run's console (both streams), every try
//   logs/NAME.log    its log (-l)
//   logs/NAME.json   its run report (-j)
//   logs/NAME.tries  the number of tries, "N stopped" at the time bound
//   logs/NAME/       its folder: the working copy, received images, the
//                    script's relative image names; taken away when empty
//   joblog           one line a processor, GNU parallel's job log format
//
// A try again only when the connection could not be made (refused,
// unreachable, timed out, reset, or a name lookup that may work later); the
// time bound is a deadline every wait of the run keeps.
#pragma once

#include "driver/fleet_options.h"

struct RunContext;

// Runs the fleet; the exit status: 0 every processor succeeded, 1 at least
// one did not, 2 the inventory or the output folder was refused. The
// fleet's own messages go to fleet's standard error.
int run_fleet(RunContext& fleet, const FleetOptions& options);
