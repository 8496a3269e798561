// One client connection of a simulated processor: TLS reads and writes
// with byte counts, the transcript, and the ways it ends.
#pragma once

#include <atomic>
#include <openssl/ssl.h>
#include <string>
#include <vector>

#include "sim/scenario.h"
#include "sim/transcript.h"

struct ServedConnection;
struct ProcessorState;

struct PeerLink {
    SSL* ssl = nullptr;
    int fd = -1;
    int number = 0;               // from 1, in the processor's accept order
    ProcessorState* processor = nullptr; // the processor it is a connection of
    std::string input;            // received, not yet consumed
    long long bytes_in = 0;
    long long bytes_out = 0;
    int answers = 0;              // answers sent so far (numbering)
    std::string kind = "none";    // probe, stream, http, upload
    std::string end;              // how it ended; empty while open
    std::string summary;          // the summary line, once closed
    Transcript transcript;
    ServedConnection* record = nullptr; // kept in memory too, when set
};

// Set by SIGTERM and SIGINT, or by the thread that started the serving.
// Waits for a client and sleeps look at it at least every few tenths of a
// second, so that it ends them in every thread.
extern std::atomic<bool> stop_requested;

bool link_is_open(const PeerLink& link);

// Waits until the client has sent something (or closed): false after
// sim.options.timeout_seconds of silence or once a stop is requested.
bool wait_for_client(int fd);

// One read, appended to link.input. False once the connection has ended
// (link.end then says why).
bool link_read(PeerLink& link);

// Reads until link.input holds at least `count` bytes.
bool link_fill(PeerLink& link, size_t count);

// One write of all the bytes.
bool link_write(PeerLink& link, const std::string& bytes);

// The bytes in writes of the given sizes (the last size repeats; a single
// write when `sizes` is empty).
bool link_write_pieces(PeerLink& link, const std::string& bytes, const std::vector<size_t>& sizes);

// Ends the connection: writes the transcript summary, sends close_notify
// (CloseMode::notify) or not (CloseMode::drop), and closes the socket.
// `reason` is recorded unless the connection already ended.
void link_close(PeerLink& link, CloseMode mode, const char* reason);

// Sleeps, unless a stop is requested meanwhile.
void sleep_milliseconds(int milliseconds);
