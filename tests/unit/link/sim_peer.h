// The link tests' processor: mpsim_core serving one connection on a
// loopback port, in a thread of the test. Without steps it answers as a
// stream-mode processor; with steps it plays exactly these bytes. Starting
// it points the run settings at it.
#pragma once

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_server.h"
#include "sim/sim_state.h"

struct Link;

// One write of the bytes, one record.
ByteStep send_step(std::string text);
ByteStep read_until(std::string marker);
ByteStep read_bytes(size_t count);
// Drops the TCP connection without a TLS close notification.
ByteStep close_step();

// A response in the stream-mode layout with the given status and message.
std::string response_text(const char* status, const char* message, const char* version = "2.22");

// The TLS side, when it is not the processor's own.
struct ProcessorOptions {
    int min_version = 0x0301;  // TLS 1.0
    int max_version = 0x0301;
    const char* cipher_list = nullptr;  // null: the processor's suites
    bool reset_newer_hellos = false;    // an old TLS stack (mpsim --tls old-stack)
    int connections = 1;                // served before it stops
};

class SimPeer {
public:
    // client: the link that connects to it, whose connection finish() closes.
    SimPeer(Link& client, std::vector<ByteStep> steps, ProcessorOptions options = {});
    ~SimPeer();
    SimPeer(const SimPeer&) = delete;
    SimPeer& operator=(const SimPeer&) = delete;

    // Closes the client's connection and waits until the conversation is
    // over; then the records below are final.
    void finish();

    std::string received;         // everything the client sent
    std::vector<int> read_sizes;  // the size of every read of read_bytes steps
    ClientHello hello;
    int negotiated_version = 0;
    bool handshake_done = false;
    int declined = 0;  // hellos it declined before the connection it served

private:
    Link& client_;
    SimServer server_;
    std::thread thread_;
};
