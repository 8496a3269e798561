// Reads and writes on the open TLS connection. With no connection open they
// fail like a broken connection does.
#pragma once

#include "records/results.h"

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
