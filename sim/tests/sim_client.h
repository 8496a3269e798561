// Test side of mpsim: starts the program and talks to it as a TLS 1.0
// client offering the three Triple-DES suites.
#pragma once

#include <openssl/ssl.h>
#include <string>
#include <sys/types.h>
#include <vector>

struct SimProcess {
    pid_t pid = -1;
    int port = 0;                // the first processor's
    std::vector<int> ports;      // every processor's, in order
    std::string folder;  // scratch folder: port file, scenario, records
};

// Starts mpsim with --port 0 --port-file and `arguments`; the scenario text,
// when given, goes to FOLDER/scenario and is passed with --scenario.
// Records go to FOLDER/record.
bool start_sim(SimProcess& process, const std::vector<std::string>& arguments,
               const std::string& scenario = "");
// SIGTERM, then the exit status (or -1).
int stop_sim(SimProcess& process);
// Waits for the exit of a process started with --connections; -1 on timeout.
int wait_sim(SimProcess& process, int seconds);

struct TlsClient {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    int fd = -1;
};

// `modern`: offer TLS 1.2 and later with the library's default suites
// instead of the processor's TLS 1.0 and Triple-DES.
bool client_connect(TlsClient& client, int port, bool modern = false);
bool client_send(TlsClient& client, const std::string& bytes);
// One read of at most `limit` bytes: the count, 0 at a clean close, -1 on
// an error or after five seconds of silence.
int client_read(TlsClient& client, std::string& out, size_t limit = 16384);
// Reads until the server closes; `clean` tells whether it sent close_notify.
std::string client_read_to_end(TlsClient& client, bool* clean = nullptr);
void client_close(TlsClient& client);

std::string read_text_file(const std::string& path);

// The four values the utility takes from a response: version, status and
// message; false when the text is not in the response status format.
bool scan_response(const std::string& text, int& major, int& minor, unsigned& status,
                   std::string& message);
