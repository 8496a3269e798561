// The places a signal handler reads, one per run going at once: a process
// runs one run (slot 0), or up to RUN_SLOTS side by side (the fleet mode),
// each with its own working copy and report armed for signals.
#pragma once

constexpr int RUN_SLOTS = 256;
