// One read on the connection for the HTTP-mode replies.
#pragma once

// SSL_read of at most size bytes. A processor that closes the connection
// without a TLS close notification ends its reply all the same: that read
// gives 0, like an orderly close. Negative on every other failure.
int tls_read(char* buffer, int size);
