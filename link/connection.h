// The TLS connection of a link to the management processor.
#pragma once

#include <openssl/ssl.h>

#include "records/results.h"

struct Connection {
    SSL_CTX* context = nullptr;  // the link's, shared by its connections: not owned
    SSL* tls = nullptr;
    int socket = -1;
};

struct Link;

// Makes the TLS context of a connection: the library's own maker, unless a
// test puts one in its link that fails, to see how the run ends then.
using TlsContextMaker = SSL_CTX* (*)();
SSL_CTX* make_tls_context();

// Frees what is left of the link's connection without a TLS shutdown, and
// its TLS context (the link does, when it goes).
void release_connection(Link& link);

// Connected socket to server_address:port_text, or -1.
int tcpClient(Link& link);
// Opens a TLS 1.0 connection. When it cannot, it reports why and the run
// must end at once (Flow::end_now) with the run status it has set: -1, or 1
// when the library could not make a TLS context.
Flow SIO_connect(Link& link);
// Shuts down and frees the connection; a cleared record is left alone.
void connection_teardown(Link& link);
