// A connection that plays a list of byte steps instead of a processor: send
// these bytes, read up to this marker, take this many bytes, drop.
#pragma once

#include <vector>

#include "sim/peer_link.h"
#include "sim/scenario.h"

// Plays `steps`; after the last one (unless it dropped the connection)
// takes whatever the client still sends, up to its close.
void serve_byte_steps(PeerLink& link, const std::vector<ByteStep>& steps);
