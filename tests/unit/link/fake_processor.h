// A management processor stand-in for the link tests: a TLS server on the
// loopback that plays a list of steps on one connection and records what it
// was sent. Starting it points the run settings at it.
#pragma once

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

struct ProcessorStep {
    enum Kind { Send, ReadUntil, ReadBytes, Close } kind;
    std::string text;  // Send: the bytes, one record; ReadUntil: the marker
    size_t count = 0;  // ReadBytes
};

ProcessorStep send_step(std::string text);
ProcessorStep read_until(std::string marker);
ProcessorStep read_bytes(size_t count);
// Drops the TCP connection without a TLS close notification.
ProcessorStep close_step();

// A response in the stream-mode layout with the given status and message.
std::string response_text(const char* status, const char* message, const char* version = "2.22");

struct ClientHello {
    unsigned legacy_version = 0;
    std::vector<unsigned> cipher_suites;
    std::vector<int> extensions;
};

struct ProcessorOptions {
    int min_version = 0x0301;  // TLS 1.0
    int max_version = 0x0301;
    const char* cipher_list = "DES-CBC3-SHA";
};

class FakeProcessor {
public:
    explicit FakeProcessor(std::vector<ProcessorStep> steps, ProcessorOptions options = {});
    ~FakeProcessor();

    // Closes the client's connection and waits until the conversation is
    // over; then the records below are final.
    void finish();

    std::string received;            // everything the client sent
    std::vector<int> read_sizes;     // the size of every read of ReadBytes steps
    ClientHello hello;
    int negotiated_version = 0;
    bool handshake_done = false;

private:
    void serve();

    std::vector<ProcessorStep> steps_;
    ProcessorOptions options_;
    int listener_ = -1;
    std::thread thread_;
};
