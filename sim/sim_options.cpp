#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const sim_usage_text =
    "usage: mpsim [options]\n"
    "  --generation stream|http  processor generation to play (default http)\n"
    "  --port N                  port to listen on (default 0: any free port); with\n"
    "                            --processors, the first of consecutive ports\n"
    "  --listen ADDR             address to listen on (default 127.0.0.1)\n"
    "  --port-file FILE          write the port numbers to FILE, one a line\n"
    "  --connections N           exit after serving N connections (all processors together)\n"
    "  --processors N            play N processors, one port each (default 1, at most 16384)\n"
    "  --answer-delay MS         wait MS milliseconds before each answer (default 0)\n"
    "  --version X.Y             VERSION in every response (default 2.22)\n"
    "  --scenario FILE           answers to override (see sim/README.md)\n"
    "  --record DIR              write transcripts of every connection to DIR\n"
    "  --cert FILE --key FILE    PEM certificate and key instead of a fresh one\n"
    "  --later-cert FILE --later-key FILE  the same for every connection after the first\n"
    "  --key-store FILE|none     keep the key and certificate made at the first start in FILE\n"
    "                            (default ~/.local/state/mpsim/identity.pem); none: a fresh one\n"
    "                            at every start\n"
    "  --tls KIND                the TLS the processor speaks: legacy (TLS 1.0 with Triple-DES,\n"
    "                            the default), modern (TLS 1.2 and 1.3, AEAD suites), both, or\n"
    "                            old-stack (legacy, and a hello above TLS 1.0 gets a reset)\n"
    "  --floppy-file FILE        image sent for COPY_VIRTUAL_FLOPPY\n"
    "  --timeout SECONDS         drop a client silent for this long (default 10)\n"
    "  --identity NAME           answer the common GET commands with data of a processor NAME\n"
    "                            (with --processors, processor K is NAME-K, or sim-K without it)\n"
    "  --verbose                 one line per connection on standard error\n";

std::string default_key_store()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/')
        return std::string(state) + "/mpsim/identity.pem";
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return std::string(home) + "/.local/state/mpsim/identity.pem";
    return {};
}

namespace {

const char* const legacy_suites = "DES-CBC3-SHA:EDH-RSA-DES-CBC3-SHA:EDH-DSS-DES-CBC3-SHA";
const char* const modern_suites =
    "ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384:ECDHE-RSA-CHACHA20-POLY1305:"
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:DHE-RSA-AES128-GCM-SHA256";

bool take_tls_kind(const char* kind, SimOptions& options)
{
    options.reset_newer_hellos = false;
    options.lowest_tls = 0x0301;
    options.highest_tls = 0x0301;
    options.suites = std::string(legacy_suites) + ":@SECLEVEL=0";
    if (std::strcmp(kind, "legacy") == 0)
        return true;
    if (std::strcmp(kind, "old-stack") == 0) {
        options.reset_newer_hellos = true;
        return true;
    }
    options.highest_tls = 0x0304;
    if (std::strcmp(kind, "both") == 0) {
        options.suites = std::string(modern_suites) + ":" + legacy_suites + ":@SECLEVEL=0";
        return true;
    }
    if (std::strcmp(kind, "modern") == 0) {
        options.lowest_tls = 0x0303;
        options.suites = modern_suites;
        return true;
    }
    return false;
}

} // namespace

static bool to_int(const char* text, int low, int high, int& value)
{
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

int parse_sim_options(int argc, char** argv, SimOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0)
            return 1;
        if (std::strcmp(name, "--verbose") == 0 || std::strcmp(name, "-v") == 0) {
            options.verbose = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = std::string("missing value after ") + name;
            return 2;
        }
        const char* value = argv[++i];
        bool good = true;
        if (std::strcmp(name, "--generation") == 0) {
            if (std::strcmp(value, "stream") == 0)
                options.generation = Generation::stream;
            else if (std::strcmp(value, "http") == 0)
                options.generation = Generation::http;
            else
                good = false;
        } else if (std::strcmp(name, "--port") == 0) {
            good = to_int(value, 0, 65535, options.port);
        } else if (std::strcmp(name, "--listen") == 0) {
            options.listen_address = value;
        } else if (std::strcmp(name, "--port-file") == 0) {
            options.port_file = value;
        } else if (std::strcmp(name, "--connections") == 0) {
            good = to_int(value, 0, 1000000, options.connections);
        } else if (std::strcmp(name, "--processors") == 0) {
            good = to_int(value, 1, largest_processor_count, options.processors);
        } else if (std::strcmp(name, "--answer-delay") == 0) {
            good = to_int(value, 0, 60000, options.answer_delay_ms);
        } else if (std::strcmp(name, "--version") == 0) {
            options.version = value;
            good = !options.version.empty();
        } else if (std::strcmp(name, "--scenario") == 0) {
            options.scenario_file = value;
        } else if (std::strcmp(name, "--record") == 0) {
            options.record_dir = value;
        } else if (std::strcmp(name, "--cert") == 0) {
            options.cert_file = value;
        } else if (std::strcmp(name, "--key") == 0) {
            options.key_file = value;
        } else if (std::strcmp(name, "--later-cert") == 0) {
            options.later_cert_file = value;
        } else if (std::strcmp(name, "--later-key") == 0) {
            options.later_key_file = value;
        } else if (std::strcmp(name, "--key-store") == 0) {
            options.key_store = std::strcmp(value, "none") == 0 ? std::string() : std::string(value);
            good = *value != '\0';
        } else if (std::strcmp(name, "--tls") == 0) {
            good = take_tls_kind(value, options);
        } else if (std::strcmp(name, "--floppy-file") == 0) {
            options.floppy_file = value;
        } else if (std::strcmp(name, "--identity") == 0) {
            options.identity = value;
            good = !options.identity.empty();
        } else if (std::strcmp(name, "--timeout") == 0) {
            good = to_int(value, 1, 3600, options.timeout_seconds);
        } else {
            error = std::string("unknown option ") + name;
            return 2;
        }
        if (!good) {
            error = std::string("bad value for ") + name + ": " + value;
            return 2;
        }
    }
    if (options.cert_file.empty() != options.key_file.empty()) {
        error = "--cert and --key go together";
        return 2;
    }
    if (options.later_cert_file.empty() != options.later_key_file.empty()) {
        error = "--later-cert and --later-key go together";
        return 2;
    }
    if (options.port != 0 && options.port + options.processors - 1 > 65535) {
        error = "--port " + std::to_string(options.port) + " leaves no room for " +
                std::to_string(options.processors) + " consecutive ports";
        return 2;
    }
    return 0;
}
