// A stream-mode work connection: the script arrives token by token and
// each check point gets its answer; image commands move raw bytes.
#pragma once

#include "sim/peer_link.h"

void serve_stream(PeerLink& link);
