// Serving clients: the set-up from sim.options, the accept loop over the
// listeners of every simulated processor and one connection from handshake
// to close. mpsim's main runs these; so can a test, in a thread of its
// own, after reset_sim_state() and its own settings in `sim`.
#pragma once

#include <atomic>
#include <memory>
#include <openssl/ssl.h>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_state.h"

// One simulated processor: its listener and the thread serving its
// current connection.
struct SimProcessor {
    ProcessorState state;
    int listener = -1;
    int port = 0;                   // the port actually bound
    std::thread worker;             // serving its connection, while busy
    std::atomic<bool> busy = false; // a connection is being served
};

struct SimServer {
    SSL_CTX* context = nullptr;
    SSL_CTX* later_context = nullptr;  // a processor's connections after its first, when set
    int port = 0;  // the port of the first processor
    std::vector<std::unique_ptr<SimProcessor>> processors;  // in port order
    int wake[2] = {-1, -1};  // a connection that ends writes a byte here
    // Connections served (or being served) so far, over all processors; a
    // hello the processor declined (a protocol it does not speak) counts as
    // none. Clients accepted whose hello is not judged yet are undecided.
    std::atomic<int> counted = 0;
    std::atomic<int> undecided = 0;
};

// Loads the scenario file and the floppy image, makes the record folders,
// sets up TLS and listens, as sim.options say. Returns 0, or the exit
// status for the failure (2: a bad scenario file, image or record folder;
// 1: no TLS or no listener) after saying why on standard error.
int sim_start(SimServer& server);

// Serves clients until sim.options.connections have been accepted, over
// all processors (0: no limit), and served, or a stop is requested. A
// client whose hello asks for a newer protocol than a processor of TLS 1.0
// speaks gets its refusal (an alert, or a reset with --tls old-stack) and
// counts as no connection: it gets no number, no transcript but
// declined-N.hello, and no place in sim.served. Each
// processor serves its connections one at a time, in accept order; the
// processors are served at the same time, each connection in a thread of
// its own.
void sim_serve(SimServer& server);

// Closes the listeners and frees the TLS context.
void sim_close(SimServer& server);

// One client of `processor`, from its handshake to the close; `number`
// counts the processor's connections from 1.
void serve_connection(SSL_CTX* context, int fd, int number, ProcessorState& processor);
