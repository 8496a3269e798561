// Large buffers (a link's 4 MiB image buffer and 1 MiB response store)
// come zeroed from the system, untouched until used, however many runs of
// the process made and freed them before.
#pragma once

// Called once, before the runs start, by a process that runs many (the
// fleet mode).
void keep_large_allocations_fresh();
