// Reads and writes on the open TLS connection. With no connection open they
// fail like a broken connection does.
#pragma once

#include "records/results.h"
#include "records/run_causes.h"

struct Link;

// Another peer in the connection's place: the link's reads and writes go
// to it, with no socket and no TLS. Test and fuzzing harnesses drive the
// link with it; the same functions as with a processor read its bytes.
struct LinkPeer {
    // As tls_read and tls_write: bytes moved, 0 at the end of the data,
    // negative on failure.
    int (*read)(void* context, void* buffer, int size);
    int (*write)(void* context, const void* data, int length);
    void* context = nullptr;
};
// nullptr: the TLS connection again.
void use_link_peer(Link& link, const LinkPeer* peer);

// Bytes written, or 0 or less when the write failed. Each write is a TLS
// record of its own; the records wait in the connection's send queue and
// leave together at the next read, image send or teardown (or when the
// queue is full).
int tls_write(Link& link, const void* data, int length);
// Sends what waits in the send queue: ok (also when nothing waited), or
// write_failure, reported like a failed write (after the time-out message
// when the processor took no data within the wait limit; run status 6)
// unless the run had already failed.
LinkResult tls_flush(Link& link);
// Bytes read, 0 at the end of the data (also when the peer closes without a
// TLS close notification), negative on failure. The queued records leave
// first; when they cannot, the read fails without reading, the write
// failure is reported, and report_read_failure says no more.
int tls_read(Link& link, void* buffer, int size);

// A read or a write that moved no byte within the wait limit fails with
// the socket layer's last error set to a time-out, after a message that
// names the wait.
void report_data_wait_timeout(Link& link);

// A wait that timed out because the run's deadline passed: says so once
// (in place of the wait's own message), notes it in the run's state and
// as the run's cause (the wait's own: cause); true then. False when the
// deadline is still ahead, or there is none.
bool report_deadline_reached(Link& link, Cause cause);

// "s" unless count is 1: "1 second", "2 seconds".
const char* plural(int count);

// A read on the connection failed: "SSL_read:Connection Terminated" with
// the socket layer's reason, run status 3; write_failure, with nothing more
// said, when the read failed in sending the queued records.
LinkResult report_read_failure(Link& link);

// No reply of a processor comes near this many bytes. One that passes it
// without its end is a processor gone wrong: the run stops rather than read
// (and log) it for ever.
constexpr long long REPLY_BYTE_LIMIT = 64LL << 20;
// Adds count bytes to a reply's total; false, with the reply reported
// ("passed ... bytes without its end", run status 3), once the total passes
// REPLY_BYTE_LIMIT.
bool reply_within_limit(Link& link, long long& total, int count);

// A write on the connection failed: "SSL_write:Connection Terminated" with
// the socket layer's reason, run status 6.
LinkResult report_write_failure(Link& link);
