// Reading the HTTP reply to a script or a firmware upload: the reads, what
// they show and store, and how the reply ended.
#pragma once

#include <cstddef>
#include <string>

#include "records/results.h"
#include "records/run_secrets.h"

#include "link/status_scan.h"

struct Link;

// One read of the reply; count gets the bytes read (0 at the end). ok,
// read_failure, refused (a reply head other than 200), or skipped when the
// run has already failed; the run status records every failure.
LinkResult http_chunk_read(Link& link, char* buffer, int size, int& count);

// Reads the whole reply into the response store. After a firmware upload
// it stops at the flash confirmation, and a reply without one fails the run
// with 8; otherwise a reply that ends with nothing after its head (or no
// reply at all), or inside a chunk, fails it with 3. On a failed read the connection is torn
// down and the run goes straight to its closing report.
Flow reply_read_loop(Link& link, bool firmware_upload);

// The verbose trace's heading over a reply.
void show_responses_heading(Link& link);

// First failing status of the reply read by reply_read_loop: 0 when none.
int status_scan(const Link& link);

// Where the reading of one reply stands.
struct HttpReply {
    size_t chunk_bytes_owed = 0;  // of a chunk that ran past the end of its read
    bool started = false;         // a read had bytes: nothing more is the reply head
    bool body_seen = false;       // a byte came after the reply head
    ReplyStatusScan status_scan;  // of every byte of the reply
    // Bytes of an unfinished reply head or chunk size line, read again in
    // front of the next read.
    std::string carry;
    // What the reply showed so far, its secrets masked.
    EchoMask echo;
};

// The start of a reply: an empty store, no rollover, a fresh status scan.
void reply_collect_start(Link& link);

// The reply, ending here, had more of a chunk to come: data owed, or a
// size line cut short that announced a chunk.
bool reply_cut_inside_chunk(const Link& link);

// A new reply: empty store, fresh scan, no chunk owed.
void reset_http_reply(Link& link);
