#include "fake_processor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "records/run_settings.h"
#include "link/connection.h"

ProcessorStep send_step(std::string text)
{
    return {ProcessorStep::Send, std::move(text)};
}

ProcessorStep read_until(std::string marker)
{
    return {ProcessorStep::ReadUntil, std::move(marker)};
}

ProcessorStep read_bytes(size_t count)
{
    return {ProcessorStep::ReadBytes, "", count};
}

ProcessorStep close_step()
{
    return {ProcessorStep::Close, ""};
}

std::string response_text(const char* status, const char* message, const char* version)
{
    std::string text = "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"";
    text += version;
    text += "\">\r\n<RESPONSE\r\n    STATUS=\"";
    text += status;
    text += "\"\r\n    MESSAGE='";
    text += message;
    text += "'\r\n     />\r\n</MOXCL>\r\n";
    return text;
}

// One key and self-signed certificate for every server of the test run.
static void server_identity(EVP_PKEY*& key, X509*& certificate)
{
    static EVP_PKEY* shared_key = nullptr;
    static X509* shared_certificate = nullptr;
    if (shared_key == nullptr) {
        shared_key = EVP_RSA_gen(1024);
        shared_certificate = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(shared_certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(shared_certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(shared_certificate), 3600);
        X509_set_pubkey(shared_certificate, shared_key);
        X509_NAME* name = X509_get_subject_name(shared_certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("mp"), -1,
                                   -1, 0);
        X509_set_issuer_name(shared_certificate, name);
        X509_sign(shared_certificate, shared_key, EVP_sha256());
    }
    key = shared_key;
    certificate = shared_certificate;
}

static int record_hello(SSL* tls, int*, void* argument)
{
    ClientHello& hello = *static_cast<ClientHello*>(argument);
    hello.legacy_version = SSL_client_hello_get0_legacy_version(tls);
    const unsigned char* suites = nullptr;
    size_t length = SSL_client_hello_get0_ciphers(tls, &suites);
    for (size_t i = 0; i + 1 < length; i += 2)
        hello.cipher_suites.push_back(static_cast<unsigned>(suites[i] << 8 | suites[i + 1]));
    int* present = nullptr;
    size_t count = 0;
    if (SSL_client_hello_get1_extensions_present(tls, &present, &count) == 1) {
        hello.extensions.assign(present, present + count);
        OPENSSL_free(present);
    }
    return SSL_CLIENT_HELLO_SUCCESS;
}

FakeProcessor::FakeProcessor(std::vector<ProcessorStep> steps, ProcessorOptions options)
    : steps_(std::move(steps)), options_(options)
{
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    std::snprintf(settings.server_address, sizeof settings.server_address, "127.0.0.1");
    std::snprintf(settings.port_text, sizeof settings.port_text, "%d", ntohs(address.sin_port));

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    server_identity(key, certificate);
    thread_ = std::thread(&FakeProcessor::serve, this);
}

FakeProcessor::~FakeProcessor()
{
    finish();
}

void FakeProcessor::finish()
{
    connection_teardown();
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0) {
        close(listener_);
        listener_ = -1;
    }
}

void FakeProcessor::serve()
{
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 10000) != 1)
        return;
    int peer = accept(listener_, nullptr, nullptr);
    if (peer < 0)
        return;
    timeval limit{10, 0};
    setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    server_identity(key, certificate);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_security_level(context, 0);
    SSL_CTX_set_min_proto_version(context, options_.min_version);
    SSL_CTX_set_max_proto_version(context, options_.max_version);
    SSL_CTX_set_cipher_list(context, options_.cipher_list);
    SSL_CTX_use_certificate(context, certificate);
    SSL_CTX_use_PrivateKey(context, key);
    SSL_CTX_set_client_hello_cb(context, record_hello, &hello);
    SSL* tls = SSL_new(context);
    SSL_set_fd(tls, peer);

    bool closed = false;
    if (SSL_accept(tls) == 1) {
        handshake_done = true;
        negotiated_version = SSL_version(tls);
        std::vector<char> buffer(65536);
        for (const ProcessorStep& step : steps_) {
            if (step.kind == ProcessorStep::Send) {
                if (SSL_write(tls, step.text.data(), static_cast<int>(step.text.size())) <= 0)
                    break;
            } else if (step.kind == ProcessorStep::Close) {
                closed = true;
                break;
            } else {
                size_t start = received.size();
                bool ok = true;
                while (ok) {
                    if (step.kind == ProcessorStep::ReadBytes && received.size() - start >= step.count)
                        break;
                    if (step.kind == ProcessorStep::ReadUntil &&
                        received.find(step.text, start) != std::string::npos)
                        break;
                    int wanted = static_cast<int>(buffer.size());
                    if (step.kind == ProcessorStep::ReadBytes)
                        wanted = static_cast<int>(std::min(buffer.size(), step.count - (received.size() - start)));
                    int count = SSL_read(tls, buffer.data(), wanted);
                    ok = count > 0;
                    if (ok) {
                        received.append(buffer.data(), static_cast<size_t>(count));
                        if (step.kind == ProcessorStep::ReadBytes)
                            read_sizes.push_back(count);
                    }
                }
                if (!ok)
                    break;
            }
        }
        // Whatever else comes, up to the client's close.
        if (!closed) {
            int count = 0;
            while ((count = SSL_read(tls, buffer.data(), static_cast<int>(buffer.size()))) > 0)
                received.append(buffer.data(), static_cast<size_t>(count));
        }
    }
    ERR_clear_error();
    SSL_free(tls);
    SSL_CTX_free(context);
    close(peer);
}
