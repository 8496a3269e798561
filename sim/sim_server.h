// Serving clients: the set-up from sim.options, the accept loop and one
// connection from handshake to close. mpsim's main runs these; so can a
// test, in a thread of its own, after reset_sim_state() and its own
// settings in `sim`.
#pragma once

#include <openssl/ssl.h>
#include <string>

struct SimServer {
    SSL_CTX* context = nullptr;
    SSL_CTX* later_context = nullptr;  // connections after the first, when set
    int listener = -1;
    int port = 0;  // the port actually bound
};

// Loads the scenario file and the floppy image, makes the record folder,
// sets up TLS and listens, as sim.options say. Returns 0, or the exit
// status for the failure (2: a bad scenario file, image or record folder;
// 1: no TLS or no listener) after saying why on standard error.
int sim_start(SimServer& server);

// Serves clients one at a time, in accept order, until
// sim.options.connections have been served (0: no limit) or a stop is
// requested.
void sim_serve(SimServer& server);

// Closes the listener and frees the TLS context.
void sim_close(SimServer& server);

// One client, from its handshake to the close; `number` counts from 1.
void serve_connection(SSL_CTX* context, int fd, int number);
