#include "sim/sim_server.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <system_error>
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

// Guards sim.served, which the connections of several processors add to.
std::mutex served_lock;

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

// Processor `number` of `count`: the only one plays --identity as given,
// each of several a name of its own.
std::string identity_of(int number, int count)
{
    if (count == 1)
        return sim.options.identity;
    std::string base = sim.options.identity.empty() ? "sim" : sim.options.identity;
    return base + "-" + std::to_string(number);
}

// The only processor records into --record DIR, each of several into DIR/K.
std::string record_folder_of(int number, int count)
{
    if (sim.options.record_dir.empty() || count == 1)
        return sim.options.record_dir;
    return sim.options.record_dir + "/" + std::to_string(number);
}

std::vector<std::string> folders_to_make(const SimServer& server)
{
    std::vector<std::string> folders = {sim.options.record_dir};
    for (const auto& processor : server.processors)
        if (processor->state.record_folder != sim.options.record_dir)
            folders.push_back(processor->state.record_folder);
    return folders;
}

// Room for every listener and for a busy connection of each (its socket
// and transcript files): the usual soft limit of 1024 open files is too
// small for a large fleet.
void allow_open_files(int processors)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    rlim_t wanted = static_cast<rlim_t>(processors) * 5 + 64;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

void serve_connection(SSL_CTX* context, int fd, int number, ProcessorState& processor)
{
    PeerLink link;
    link.fd = fd;
    link.number = number;
    link.processor = &processor;
    if (sim.keep_served) {
        std::lock_guard<std::mutex> hold(served_lock);
        sim.served.emplace_back();
        link.record = &sim.served.back();
    }
    set_timeouts(fd, sim.options.timeout_seconds);
    transcript_begin(link.transcript, processor.record_folder, number);
    link.ssl = SSL_new(context);
    SSL_set_fd(link.ssl, fd);
    ClientHello hello;
    SSL_set_app_data(link.ssl, &hello);
    ERR_clear_error();
    int accepted = wait_for_client(fd) ? SSL_accept(link.ssl) : -1;
    if (!hello.text.empty())
        transcript_hello(link.transcript, hello.text);
    if (link.record != nullptr) {
        link.record->hello = hello;
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
    if (sim.options.verbose) {
        if (sim.options.processors > 1)
            std::fprintf(stderr, "mpsim: processor %d connection %d: %s\n", processor.number, number,
                         link.summary.c_str());
        else
            std::fprintf(stderr, "mpsim: connection %d: %s\n", number, link.summary.c_str());
    }
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
    int count = std::max(sim.options.processors, 1);
    server.processors.clear();
    for (int number = 1; number <= count; ++number) {
        auto processor = std::make_unique<SimProcessor>();
        processor->state.number = number;
        processor->state.identity = identity_of(number, count);
        processor->state.record_folder = record_folder_of(number, count);
        server.processors.push_back(std::move(processor));
    }
    if (!sim.options.record_dir.empty()) {
        for (const std::string& folder : folders_to_make(server)) {
            if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "mpsim: cannot make %s: %s\n", folder.c_str(), std::strerror(errno));
                return 2;
            }
        }
    }

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
    allow_open_files(count);
    if (::pipe2(server.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "mpsim: cannot make a pipe: %s\n", std::strerror(errno));
        sim_close(server);
        return 1;
    }
    for (auto& processor : server.processors) {
        int port = sim.options.port == 0 ? 0 : sim.options.port + processor->state.number - 1;
        processor->listener = open_listener(sim.options.listen_address, port, processor->port, error);
        if (processor->listener < 0) {
            std::fprintf(stderr, "mpsim: %s\n", error.c_str());
            sim_close(server);
            return 1;
        }
    }
    server.port = server.processors.front()->port;
    return 0;
}

namespace {

// The version a client's hello asks for, read ahead of the TLS library
// without taking it off the socket: 0 when no hello came.
unsigned peek_hello_version(int fd)
{
    unsigned char head[11];
    for (int tries = 0; tries < 1000; ++tries) {
        if (!wait_for_client(fd))
            return 0;
        ssize_t got = ::recv(fd, head, sizeof head, MSG_PEEK);
        if (got <= 0)
            return 0;
        if (static_cast<size_t>(got) == sizeof head)
            return head[0] == 0x16 && head[5] == 0x01 ? static_cast<unsigned>(head[9] << 8 | head[10]) : 0;
        ::usleep(1000);  // the rest of the hello is on its way
    }
    return 0;
}

// A processor of TLS 1.0 refuses a hello that asks for more: with an alert
// from its TLS library, or, as an old stack, with a TCP reset. True when
// it did; the client is gone then.
bool declines_hello(SSL_CTX* context, int fd, ProcessorState& processor)
{
    if (sim.options.highest_tls >= 0x0303)
        return false;
    set_timeouts(fd, sim.options.timeout_seconds);
    unsigned version = peek_hello_version(fd);
    if (version <= static_cast<unsigned>(sim.options.highest_tls))
        return false;
    int number = ++processor.declined;
    std::string text;
    if (sim.options.reset_newer_hellos) {
        linger abortive{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        text = "version: " + tls_version_name(version) + "\nreset\n";
    } else {
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        ClientHello hello;
        SSL_set_app_data(ssl, &hello);
        ERR_clear_error();
        static_cast<void>(SSL_accept(ssl));
        SSL_free(ssl);
        ERR_clear_error();
        text = hello.text;
    }
    ::close(fd);
    transcript_declined_hello(processor.record_folder, number, text);
    if (sim.options.verbose)
        std::fprintf(stderr, "mpsim: declined a hello for %s\n", tls_version_name(version).c_str());
    return true;
}

// One client of the processor: a declined hello, or a connection served.
void serve_client(SimServer& server, int client, SimProcessor& processor)
{
    if (declines_hello(server.context, client, processor.state)) {
        --server.undecided;
        return;
    }
    int number = ++processor.state.connections;
    ++server.counted;
    --server.undecided;
    SSL_CTX* context = number > 1 && server.later_context != nullptr ? server.later_context : server.context;
    serve_connection(context, client, number, processor.state);
}

void drain_wake(const SimServer& server)
{
    char sink[256];
    while (::read(server.wake[0], sink, sizeof sink) > 0) {
    }
}

// Serves the new client of `processor` in a thread of its own; the
// processor takes no other client until it is done.
void start_connection(SimServer& server, SimProcessor& processor, int client)
{
    processor.busy = true;
    if (processor.worker.joinable())
        processor.worker.join(); // its last connection is over: only the thread's end is left
    ++server.undecided;
    int wake = server.wake[1];
    try {
        processor.worker = std::thread([&server, client, &processor, wake] {
            serve_client(server, client, processor);
            processor.busy = false;
            char done = 1;
            if (::write(wake, &done, 1) < 0) {
                // a full pipe already wakes the accept loop
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: this one serves it, the others wait.
        serve_client(server, client, processor);
        processor.busy = false;
    }
}

} // namespace

void sim_serve(SimServer& server)
{
    const int limit = sim.options.connections;
    // Room for another client: declined hellos do not count.
    auto room = [&server, limit] { return limit == 0 || server.counted + server.undecided < limit; };
    std::vector<pollfd> watch;
    std::vector<SimProcessor*> watched;
    while (!stop_requested && (limit == 0 || server.counted < limit)) {
        watch.assign(1, pollfd{server.wake[0], POLLIN, 0});
        watched.clear();
        for (auto& processor : server.processors) {
            if (!processor->busy && room()) {
                watch.push_back(pollfd{processor->listener, POLLIN, 0});
                watched.push_back(processor.get());
            }
        }
        int ready = ::poll(watch.data(), watch.size(), 200);
        if (ready <= 0)
            continue;
        if (watch[0].revents != 0)
            drain_wake(server);
        for (size_t at = 1; at < watch.size() && room(); ++at) {
            if ((watch[at].revents & POLLIN) == 0)
                continue;
            int client = ::accept4(watch[at].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            start_connection(server, *watched[at - 1], client);
        }
    }
    for (auto& processor : server.processors)
        if (processor->worker.joinable())
            processor->worker.join();
    if (server.wake[0] >= 0)
        drain_wake(server);
}

void sim_close(SimServer& server)
{
    for (auto& processor : server.processors) {
        if (processor->worker.joinable())
            processor->worker.join();
        if (processor->listener >= 0)
            ::close(processor->listener);
        processor->listener = -1;
    }
    for (int& end : server.wake) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
    SSL_CTX_free(server.context);
    server.context = nullptr;
    SSL_CTX_free(server.later_context);
    server.later_context = nullptr;
}
