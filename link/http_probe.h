// The generation probe: which transport the processor speaks.
#pragma once

#include "records/results.h"

struct Link;

// Asks the processor on a connection of its own which transport it speaks.
// end_now when that connection cannot be made; otherwise generation gets
// the verdict (probe_read_failed when no answer came).
Flow generation_probe(Link& link, ProcessorGeneration& generation);
