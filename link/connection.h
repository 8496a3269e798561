// The one TLS connection to the management processor.
#pragma once

#include <openssl/ssl.h>

struct Connection {
    SSL_CTX* context = nullptr;
    SSL* tls = nullptr;
    int socket = -1;
};

extern Connection connection;

// Connected socket to server_address:port_text, or -1.
int tcpClient();
// Opens a TLS 1.0 connection; on failure reports and ends the process.
void SIO_connect();
// Shuts down and frees the connection; a cleared record is left alone.
void connection_teardown();
