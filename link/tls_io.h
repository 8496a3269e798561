// Reads and writes on the open TLS connection. With no connection open they
// fail like a broken connection does.
#pragma once

// Bytes written, or 0 or less when the write failed.
int tls_write(const void* data, int length);
// Bytes read, 0 at the end of the data (also when the peer closes without a
// TLS close notification), negative on failure.
int tls_read(void* buffer, int size);
