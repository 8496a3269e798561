// Process-wide records of the simulated processor. mpsim fills them from
// its command line; a program that links mpsim_core (a test) fills them
// itself after reset_sim_state().
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/sim_options.h"
#include "sim/written_settings.h"

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

// What sets one simulated processor apart from the others mpsim plays,
// and what it keeps between its connections. Only the connection it is
// serving touches it.
struct ProcessorState {
    int number = 1;               // from 1, in port order
    std::string identity;         // seeds the data of GET commands ("": generic data)
    std::string record_folder;    // its transcripts; empty: none
    int connections = 0;          // accepted so far; numbers its connections from 1
    int declined = 0;             // hellos declined so far; numbers them from 1
    bool firmware_stored = false; // an upload has delivered a firmware image
    std::string firmware_image;
    std::string cookie;           // MoxclFlash value handed out for it
    WrittenSettings written;      // what its write-mode commands set
};

struct SimState {
    SimOptions options;
    Scenario scenario;
    std::string floppy_image;     // sent for COPY_VIRTUAL_FLOPPY
    bool keep_served = false;     // keep what each connection did in `served`
    // In accept order. Connections of several processors are served at
    // once: only the serving adds to it, and it is read once serving ends.
    std::deque<ServedConnection> served;
};

extern SimState sim;

// Back to a fresh start: default options, no scenario, no records, no
// stop requested.
void reset_sim_state();
