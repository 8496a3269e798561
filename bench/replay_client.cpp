// The reference client of the stream-mode benchmark: replays a conversation
// that mpsim recorded (--record: conn-N.received and conn-N.records) with
// nothing else to do. Every record that was received is written as a TLS
// record of the same size; where the processor answered, the client sends
// what it has written so far in one go and reads the answer's bytes before
// it goes on. TLS 1.0 with the suites, options and socket settings of the
// utility's own connection.
//
// Usage: replay_client HOST PORT RECEIVED RECORDS
// Exit status 0 when everything was sent and every answer read.

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {

struct Step {
    bool sent;      // a record the client writes; else an answer it reads
    size_t length;
};

constexpr long QUEUE_SIZE = 65536;

bool read_file(const char* path, std::string& contents)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

bool read_steps(const char* path, std::vector<Step>& steps)
{
    std::ifstream file(path);
    if (!file)
        return false;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string kind;
        size_t length = 0;
        if (!(words >> kind >> length) || (kind != "in" && kind != "out"))
            return false;
        steps.push_back({kind == "in", length});
    }
    return true;
}

int connect_to(const char* host, const char* port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, port, &hints, &found) != 0)
        return -1;
    int connected = -1;
    for (addrinfo* entry = found; entry != nullptr && connected < 0; entry = entry->ai_next) {
        int candidate = socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
        if (candidate < 0)
            continue;
        if (connect(candidate, entry->ai_addr, entry->ai_addrlen) == 0) {
            int on = 1;
            setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            connected = candidate;
        } else {
            close(candidate);
        }
    }
    freeaddrinfo(found);
    return connected;
}

int fail(const char* what)
{
    std::fprintf(stderr, "replay_client: %s\n", what);
    ERR_print_errors_fp(stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: replay_client HOST PORT RECEIVED RECORDS\n");
        return 2;
    }
    std::string sent;
    std::vector<Step> steps;
    if (!read_file(argv[3], sent) || !read_steps(argv[4], steps))
        return fail("cannot read the recorded conversation");
    std::signal(SIGPIPE, SIG_IGN);

    SSL_CTX* context = SSL_CTX_new(TLS_method());
    if (context == nullptr)
        return fail("no TLS context");
    SSL_CTX_set_min_proto_version(context, TLS1_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_VERSION);
    SSL_CTX_set_security_level(context, 0);
    SSL_CTX_set_options(context, SSL_OP_NO_SSLv2 | SSL_OP_NO_SSLv3 | SSL_OP_LEGACY_SERVER_CONNECT |
                                     SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_TICKET | SSL_OP_NO_ENCRYPT_THEN_MAC);
    SSL_CTX_set_cipher_list(context, "DES-CBC3-SHA:EDH-RSA-DES-CBC3-SHA:EDH-DSS-DES-CBC3-SHA");

    int socket_handle = connect_to(argv[1], argv[2]);
    if (socket_handle < 0)
        return fail("cannot connect");
    SSL* tls = SSL_new(context);
    BIO* socket_end = BIO_new_socket(socket_handle, BIO_NOCLOSE);
    BIO* queue = BIO_new(BIO_f_buffer());
    BIO_set_write_buffer_size(queue, QUEUE_SIZE);
    BIO_up_ref(socket_end);
    SSL_set_bio(tls, socket_end, BIO_push(queue, socket_end));
    SSL_set_read_ahead(tls, 1);
    if (SSL_connect(tls) <= 0)
        return fail("handshake failed");

    size_t at = 0;
    std::vector<char> answer(16384);
    for (const Step& step : steps) {
        if (step.sent) {
            if (step.length > sent.size() - at)
                return fail("the records hold more than was received");
            if (SSL_write(tls, sent.data() + at, static_cast<int>(step.length)) != static_cast<int>(step.length))
                return fail("write failed");
            at += step.length;
            continue;
        }
        if (BIO_flush(queue) <= 0)
            return fail("write failed");
        for (size_t left = step.length; left > 0;) {
            int want = left < answer.size() ? static_cast<int>(left) : static_cast<int>(answer.size());
            int got = SSL_read(tls, answer.data(), want);
            if (got <= 0)
                return fail("the answer did not come");
            left -= static_cast<size_t>(got);
        }
    }
    if (at != sent.size())
        return fail("the records hold less than was received");
    if (BIO_flush(queue) <= 0)
        return fail("write failed");
    SSL_shutdown(tls);
    SSL_free(tls);
    SSL_CTX_free(context);
    close(socket_handle);
    return 0;
}
