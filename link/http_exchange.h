// HTTP mode in one include, for a caller that drives all of it: the probe,
// the request heads, the reply with its status and its flash confirmation.
#pragma once

#include "link/flash_confirmation.h"
#include "link/http_probe.h"
#include "link/http_reply.h"
#include "link/http_request.h"
#include "link/reply_chunks.h"
#include "link/response_store.h"
#include "link/status_scan.h"
