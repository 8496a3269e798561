// Reads and writes on the open TLS connection. With no connection open they
// fail like a broken connection does.
#pragma once

#include "records/results.h"

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
void use_link_peer(const LinkPeer* peer);

// Bytes written, or 0 or less when the write failed.
int tls_write(const void* data, int length);
// Bytes read, 0 at the end of the data (also when the peer closes without a
// TLS close notification), negative on failure.
int tls_read(void* buffer, int size);

// A read or a write that moved no byte within the wait limit fails with
// the socket layer's last error set to a time-out, after a message that
// names the wait.
void report_data_wait_timeout();

// "s" unless count is 1: "1 second", "2 seconds".
const char* plural(int count);

// A read on the connection failed: "SSL_read:Connection Terminated" with
// the socket layer's reason, run status 3.
LinkResult report_read_failure();
// A write on the connection failed: "SSL_write:Connection Terminated" with
// the socket layer's reason, run status 6.
LinkResult report_write_failure();
