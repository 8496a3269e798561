// Process-wide records of the simulated processor. mpsim fills them from
// its command line; a program that links mpsim_core (a test) fills them
// itself after reset_sim_state().
#pragma once

#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/sim_options.h"

// What a client offered in its hello.
struct ClientHello {
    unsigned legacy_version = 0;
    std::vector<unsigned> cipher_suites; // in the client's order, 0x00FF included
    std::vector<int> extensions;   // extension types, in the client's order
    std::string text;              // as written to conn-N.hello; empty: no hello came
};

// One served connection, kept in memory when SimState::keep_served is set.
struct ServedConnection {
    ClientHello hello;
    bool handshake_done = false;
    int tls_version = 0;           // the protocol agreed on, once the handshake is done
    std::string received;          // every byte received after the handshake
    std::vector<int> read_sizes;   // the size of each read of a `read_count` byte step
    std::string summary;           // as written to conn-N.summary
};

struct SimState {
    SimOptions options;
    Scenario scenario;
    std::string floppy_image;     // sent for COPY_VIRTUAL_FLOPPY
    bool firmware_stored = false; // an upload has delivered a firmware image
    std::string firmware_image;
    std::string cookie;           // MoxclFlash value handed out for it
    ClientHello hello;            // of the connection being served
    bool keep_served = false;     // keep what each connection did in `served`
    std::vector<ServedConnection> served;
};

extern SimState sim;

// Back to a fresh start: default options, no scenario, no records, no
// record folder, no stop requested.
void reset_sim_state();
