// The run settings: what the command line (or the environment) asked for.
// Filled once by the command-line parser; read everywhere else. Texts the
// run keeps for it (a password read from a file) are held here too.
#pragma once

#include <chrono>
#include <memory>
#include <string>

constexpr int PROGRAM_NAME_SIZE = 256;
constexpr int SERVER_ADDRESS_MAX = 50;
constexpr int PORT_TEXT_MAX = 5;
// The working copy is named after the server, in the run's folder.
constexpr int WORKING_COPY_NAME_SIZE = 4096;
// How long a connect may wait for the processor, and how long a read or a
// write may go without moving a byte, in seconds (0: no limit). A firmware
// flash keeps the processor quiet for minutes. QUORVEX_TIMEOUT sets both.
constexpr int DEFAULT_CONNECT_WAIT_SECONDS = 60;
constexpr int DEFAULT_DATA_WAIT_SECONDS = 600;
constexpr int LONGEST_WAIT_SECONDS = 1000000;

struct RunSettings {
    char program_name[PROGRAM_NAME_SIZE] = "";
    char server_address[SERVER_ADDRESS_MAX + 1] = "localhost";
    char port_text[32] = "";
    bool ipv6_server = false;
    const char* log_file_name = nullptr;
    bool log_file_given = false;
    const char* input_file_name = nullptr;
    const char* user_name = "";
    const char* password = "";
    bool verbose = false;
    bool check_only = false;
    const char* report_file_name = nullptr;  // -j: the JSON run report
    bool quiet = false;                      // -q: the console keeps what a person needs
    bool use_working_copy = false;
    char working_copy_name[WORKING_COPY_NAME_SIZE] = "";
    int connect_wait_seconds = DEFAULT_CONNECT_WAIT_SECONDS;
    int data_wait_seconds = DEFAULT_DATA_WAIT_SECONDS;
    // QUORVEX_KNOWN_PROCESSORS: the file of the processors' known keys
    // (nullptr: no check); QUORVEX_KNOWN_PROCESSORS_MODE=strict refuses a
    // processor the file does not hold instead of recording it.
    const char* known_processors_file = nullptr;
    bool known_processors_strict = false;
    // QUORVEX_TLS_MIN=1.2: the legacy protocol (TLS 1.0 with Triple-DES) is
    // never spoken; a processor that speaks nothing better is refused.
    bool modern_tls_only = false;
    // QUORVEX_CA_FILE: the certificate authorities (PEM) that must vouch for
    // the processor's certificate and its name; nullptr: none.
    const char* ca_file = nullptr;
    // The password read from QUORVEX_PASSWORD_FILE or taken off the command
    // line (whose -p value is then overwritten), where `password` points (its
    // text stays where it is when the settings are copied or moved).
    std::shared_ptr<const std::string> password_kept;
    // The folder that names which are not absolute (the working copy, the
    // default log, the images of the script) are taken from; empty: the
    // current folder. A run of the fleet mode has one of its own.
    std::string folder;
    // A time by which the run ends, whatever it waits for (the connection,
    // the handshake, a read or a write, the closing pause): every wait is
    // cut to what is left. time_bound_seconds is what it was set from.
    bool has_deadline = false;
    std::chrono::steady_clock::time_point deadline{};
    int time_bound_seconds = 0;
};
