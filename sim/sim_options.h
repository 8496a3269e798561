// What mpsim was asked to do, from its command line.
#pragma once

#include <string>

enum class Generation { stream, http };

constexpr int largest_processor_count = 16384;

struct SimOptions {
    std::string listen_address = "127.0.0.1";
    int port = 0;                   // 0: let the system pick one; else the first of consecutive ports
    std::string port_file;          // where the ports bound are written, one a line
    int connections = 0;            // stop after this many in all; 0 = serve until killed
    int processors = 1;             // simulated processors, one listener each
    int answer_delay_ms = 0;        // wait before every answer (stream) or reply (HTTP)
    Generation generation = Generation::http;
    std::string version = "2.22";   // VERSION of every response
    std::string scenario_file;
    std::string record_dir;
    std::string cert_file;
    std::string key_file;
    // The identity of the connections after the first (a replaced processor
    // between two connections of one run); empty: the same as the first's.
    std::string later_cert_file;
    std::string later_key_file;
    std::string floppy_file;        // image sent for COPY_VIRTUAL_FLOPPY
    int timeout_seconds = 10;       // a silent client is dropped after this
    std::string identity;           // seeds the data of the common GET commands ("": generic data)
    bool verbose = false;           // one line per connection on stderr
    // The key and certificate kept from one start to the next (made at the
    // first); empty: a fresh one at every start. --cert takes precedence.
    // mpsim starts with default_key_store(); a program linking mpsim_core
    // keeps none unless it says so.
    std::string key_store;
    // The TLS side, set by --tls (a program linking mpsim_core may set it
    // as it likes, to play a processor that refuses the utility's handshake).
    int lowest_tls = 0x0301;        // TLS 1.0
    int highest_tls = 0x0301;
    std::string suites = "DES-CBC3-SHA:EDH-RSA-DES-CBC3-SHA:EDH-DSS-DES-CBC3-SHA:@SECLEVEL=0";
    // An old TLS stack: a hello above TLS 1.0 gets a TCP reset, no alert.
    bool reset_newer_hellos = false;
};

// $XDG_STATE_HOME/mpsim/identity.pem, or ~/.local/state/mpsim/identity.pem;
// empty without a home.
std::string default_key_store();

// Fills `options` from the command line. Returns 0, 1 after --help,
// or 2 on a bad option (the reason is in `error`).
int parse_sim_options(int argc, char** argv, SimOptions& options, std::string& error);

extern const char* const sim_usage_text;
