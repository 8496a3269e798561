// HTTP requests: the generation probe, scripts posted to /moxcl, and the
// firmware upload to /cgi-bin/uploadMoxclFiles.
#pragma once

#include "sim/peer_link.h"

void serve_http(PeerLink& link);
