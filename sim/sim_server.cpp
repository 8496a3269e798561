#include "sim/sim_server.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "sim/byte_session.h"
#include "sim/http_session.h"
#include "sim/listener.h"
#include "sim/peer_link.h"
#include "sim/sim_state.h"
#include "sim/stream_session.h"
#include "sim/tls_server.h"

namespace {

constexpr size_t floppy_size = 1474560;
constexpr size_t largest_floppy_file = 64u * 1024 * 1024;

bool load_floppy_image(std::string& error)
{
    if (sim.options.floppy_file.empty()) {
        sim.floppy_image.resize(floppy_size);
        for (size_t i = 0; i < floppy_size; ++i)
            sim.floppy_image[i] = static_cast<char>((i * 131 + (i >> 9)) & 0xFF);
        return true;
    }
    std::ifstream file(sim.options.floppy_file, std::ios::binary);
    if (!file) {
        error = sim.options.floppy_file + ": cannot open the floppy image";
        return false;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    sim.floppy_image = bytes.str();
    if (sim.floppy_image.size() > largest_floppy_file) {
        error = sim.options.floppy_file + ": floppy image larger than 64 MiB";
        return false;
    }
    return true;
}

void set_timeouts(int fd, int seconds)
{
    timeval limit{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// True while `input` could still turn into the start of an HTTP request.
bool may_become_http(const std::string& input)
{
    for (const char* method : {"POST ", "GET "}) {
        size_t n = std::min(input.size(), std::strlen(method));
        if (input.size() < std::strlen(method) && input.compare(0, n, method, n) == 0)
            return true;
    }
    return false;
}

bool is_http(const std::string& input)
{
    return input.rfind("POST ", 0) == 0 || input.rfind("GET ", 0) == 0;
}

// Answers as the processor generation of sim.options: the first bytes tell
// an HTTP request from a stream-mode work connection.
void serve_as_processor(PeerLink& link)
{
    while (link.input.empty() || may_become_http(link.input))
        if (!link_read(link))
            break;
    if (link_is_open(link)) {
        if (is_http(link.input))
            serve_http(link);
        else
            serve_stream(link);
    }
}

} // namespace

void serve_connection(SSL_CTX* context, int fd, int number)
{
    PeerLink link;
    link.fd = fd;
    link.number = number;
    if (sim.keep_served) {
        sim.served.emplace_back();
        link.record = &sim.served.back();
    }
    set_timeouts(fd, sim.options.timeout_seconds);
    transcript_begin(link.transcript, number);
    link.ssl = SSL_new(context);
    SSL_set_fd(link.ssl, fd);
    sim.hello = ClientHello{};
    ERR_clear_error();
    int accepted = SSL_accept(link.ssl);
    if (!sim.hello.text.empty())
        transcript_hello(link.transcript, sim.hello.text);
    if (link.record != nullptr) {
        link.record->hello = sim.hello;
        link.record->handshake_done = accepted == 1;
        link.record->tls_version = accepted == 1 ? SSL_version(link.ssl) : 0;
    }
    if (accepted != 1) {
        link.end = "handshake-failed";
        link_close(link, CloseMode::drop, "");
    } else {
        if (sim.scenario.byte_steps.empty())
            serve_as_processor(link);
        else
            serve_byte_steps(link, sim.scenario.byte_steps);
        link_close(link, CloseMode::notify, "server-close-notify");
    }
    if (link.record != nullptr)
        link.record->summary = link.summary;
    if (sim.options.verbose)
        std::fprintf(stderr, "mpsim: connection %d: %s\n", number, link.summary.c_str());
}

int sim_start(SimServer& server)
{
    std::string error;
    if (!sim.options.scenario_file.empty() &&
        load_scenario(sim.options.scenario_file, sim.scenario, error) != 0) {
        std::fprintf(stderr, "mpsim: %s\n", error.c_str());
        return 2;
    }
    if (!load_floppy_image(error)) {
        std::fprintf(stderr, "mpsim: %s\n", error.c_str());
        return 2;
    }
    if (!sim.options.record_dir.empty() && ::mkdir(sim.options.record_dir.c_str(), 0755) != 0 &&
        errno != EEXIST) {
        std::fprintf(stderr, "mpsim: cannot make %s: %s\n", sim.options.record_dir.c_str(),
                     std::strerror(errno));
        return 2;
    }
    transcript_set_folder(sim.options.record_dir);

    server.context = make_server_context(sim.options, error);
    if (server.context == nullptr) {
        std::fprintf(stderr, "mpsim: %s\n", error.c_str());
        ERR_print_errors_fp(stderr);
        return 1;
    }
    if (!sim.options.later_cert_file.empty()) {
        SimOptions later = sim.options;
        later.cert_file = later.later_cert_file;
        later.key_file = later.later_key_file;
        server.later_context = make_server_context(later, error);
        if (server.later_context == nullptr) {
            std::fprintf(stderr, "mpsim: %s\n", error.c_str());
            ERR_print_errors_fp(stderr);
            sim_close(server);
            return 1;
        }
    }
    server.listener = open_listener(sim.options.listen_address, sim.options.port, server.port, error);
    if (server.listener < 0) {
        std::fprintf(stderr, "mpsim: %s\n", error.c_str());
        sim_close(server);
        return 1;
    }
    return 0;
}

void sim_serve(SimServer& server)
{
    int served = 0;
    while (!stop_requested && (sim.options.connections == 0 || served < sim.options.connections)) {
        int client = accept_client(server.listener);
        if (client < 0)
            break;
        ++served;
        SSL_CTX* context = served > 1 && server.later_context != nullptr ? server.later_context : server.context;
        serve_connection(context, client, served);
    }
}

void sim_close(SimServer& server)
{
    if (server.listener >= 0)
        ::close(server.listener);
    server.listener = -1;
    SSL_CTX_free(server.context);
    server.context = nullptr;
    SSL_CTX_free(server.later_context);
    server.later_context = nullptr;
}
