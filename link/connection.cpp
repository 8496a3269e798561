#include "link/connection.h"
#include "link/link.h"
#include "link/processor_certificate.h"
#include "link/processor_identity.h"

#include <cstdio>
#include <cstring>

#include <openssl/bio.h>
#include <openssl/err.h>

#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "records/results.h"
#include "records/run_report.h"
#include "records/run_limits.h"
#include "link/send_queue.h"
#include "link/tls_io.h"
#include "platform/socket_wait.h"
#include "platform/system_error_name.h"
#include "platform/winsock.h"

SSL_CTX* make_tls_context()
{
    return SSL_CTX_new(TLS_method());
}

// The legacy hello: TLS 1.0 and the three Triple-DES suites, which is all
// that the older processors speak.
static const char CIPHER_LIST[] = "DES-CBC3-SHA:EDH-RSA-DES-CBC3-SHA:EDH-DSS-DES-CBC3-SHA";
// The modern hello: TLS 1.3 (the library's suites, all forward-secret AEAD)
// and TLS 1.2 with forward-secret AEAD suites only.
static const char MODERN_CIPHER_LIST[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
    "DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-GCM-SHA384";

// The system's name of an error, or "" when it has none.
static std::string error_name(int error)
{
    const char* name = system_error_name(error);
    return name != nullptr ? name : "";
}

// " (NAME)" after the words of a failure, when the error has a name.
static std::string named(const std::string& name)
{
    return name.empty() ? std::string() : " (" + name + ")";
}

// Why the connection to the processor could not be made, by the error of
// its last attempt.
static void note_connect_cause(RunContext& run, int error, bool timed_out)
{
    const RunSettings& settings = run.settings;
    std::string where = format_text("%s:%s", settings.server_address, settings.port_text);
    std::string name = error_name(error);
    if (timed_out)
        note_cause(run, Cause::connect_timeout,
                   format_text("%s did not accept the connection within %d second%s", where.c_str(),
                               settings.connect_wait_seconds, plural(settings.connect_wait_seconds)),
                   0, name);
    else if (name == "ECONNREFUSED" || name == "WSAECONNREFUSED")
        note_cause(run, Cause::connect_refused, where + " refused the connection" + named(name), 0, name);
    else
        note_cause(run, Cause::connect_failed,
                   "the connection to " + where + " could not be made: " + system_error_text(error) + named(name), 0,
                   name);
}

int tcpClient(Link& link)
{
    const RunSettings& settings = link.run.settings;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = 0;

    addrinfo* addresses = nullptr;
    int resolved = getaddrinfo(settings.server_address, settings.port_text, &hints, &addresses);
    if (resolved != 0) {
        keep_resolver_error(resolved);
        int error = WSAGetLastError();
        std::string name = error_name(error);
        note_cause(link.run, Cause::connect_unresolved,
                   format_text("the name \"%s\" does not resolve to an address", settings.server_address) + named(name),
                   0, name);
        log_error(link.run, "tcpClient connect failed %d \r\n", error);
        return INVALID_SOCKET_VALUE;
    }

    int connected = INVALID_SOCKET_VALUE;
    int last_error = 0;
    for (addrinfo* entry = addresses; entry != nullptr; entry = entry->ai_next) {
        int candidate = open_socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
        if (candidate < 0) {
            last_error = WSAGetLastError();
            continue;
        }
        if (connect_bounded(candidate, entry->ai_addr, entry->ai_addrlen,
                            wait_milliseconds(settings, settings.connect_wait_seconds)) == 0) {
            // Every send is a small write that then waits for an answer
            // (a script token in stream mode, a request line in HTTP mode):
            // none of them may wait for the peer's delayed acknowledgement.
            int on = 1;
            setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            // A processor that stops answering must not hold the run forever.
            bound_socket_waits(candidate, wait_milliseconds(settings, settings.data_wait_seconds));
            connected = candidate;
            break;
        }
        last_error = WSAGetLastError();
        closesocket(candidate);
    }
    freeaddrinfo(addresses);

    // The reason reported by the caller is the error of the last attempt.
    if (connected < 0) {
        WSASetLastError(last_error);
        bool timed_out = last_wait_timed_out();
        if (!timed_out || !report_deadline_reached(link, Cause::connect_timeout)) {
            note_connect_cause(link.run, last_error, timed_out);
            if (timed_out)
                log_error(link.run, "Waited %d second%s for \"%s:%s\" to accept the connection: giving up (QUORVEX_TIMEOUT).\r\n",
                          settings.connect_wait_seconds, plural(settings.connect_wait_seconds),
                          settings.server_address, settings.port_text);
        }
        WSASetLastError(last_error);
    }
    return connected;
}

// Makes the library accept what older processors speak, whatever the
// library's own configuration file asks for: TLS 1.0 with small keys, no
// secure renegotiation required, a TCP close without close_notify read as
// the end of the data, and a client hello without the extensions that old
// servers do not expect.
static void allow_older_processors(SSL_CTX* context)
{
    SSL_CTX_set_min_proto_version(context, TLS1_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_VERSION);
    SSL_CTX_set_security_level(context, 0);
    SSL_CTX_set_options(context, SSL_OP_LEGACY_SERVER_CONNECT | SSL_OP_IGNORE_UNEXPECTED_EOF |
                                     SSL_OP_NO_TICKET | SSL_OP_NO_ENCRYPT_THEN_MAC);
}

// Frees what a failed connection attempt left, without a TLS shutdown: no
// byte more goes to the peer.
static void drop_connection(Connection& connection)
{
    SSL_free(connection.tls);
    closesocket(connection.socket);
    // Failed reads and writes leave their reasons queued; they belong to the
    // connection that is gone.
    ERR_clear_error();
    connection = Connection{};
}

// The run cannot reach the processor: it ends with exit_status.
static Flow connection_failed(Link& link, RunCode exit_status)
{
    log_error(link.run, "SIO_connect:reason(%d).\r\n", WSAGetLastError());
    drop_connection(link.connection);
    record_failure(link.run, exit_status);
    return Flow::end_now;
}

// The connection reads from the socket and writes through a send queue
// (link/send_queue.h): each record is made as before, but the records wait
// for the next read, image send or teardown and then leave in one write.
// Without the queue every record is written at once.
static void attach_socket(SSL* tls, int socket_handle)
{
    BIO* socket_end = BIO_new_socket(socket_handle, BIO_NOCLOSE);
    BIO* queue = new_send_queue();
    if (socket_end == nullptr || queue == nullptr) {
        BIO_free(socket_end);
        BIO_free(queue);
        SSL_set_fd(tls, socket_handle);
        return;
    }
    // Both ends hold the socket's BIO: the reading end, and the queue.
    BIO_up_ref(socket_end);
    SSL_set_bio(tls, socket_end, BIO_push(queue, socket_end));
}

// What the modern hello asks for: TLS 1.2 or 1.3 with forward-secret AEAD
// suites, whatever the library's configuration file says. Keys of 1024 bits
// still pass (security level 1); a TCP close without close_notify is read
// as the end of the data, as with the older processors.
static bool ask_for_modern_tls(SSL_CTX* context)
{
    SSL_CTX_set_security_level(context, 1);
    SSL_CTX_set_options(context, SSL_OP_LEGACY_SERVER_CONNECT | SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_TICKET);
    return SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
           SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION) == 1 &&
           SSL_CTX_set_cipher_list(context, MODERN_CIPHER_LIST) == 1;
}

// A context made for the older processors: today's TLS 1.0 hello.
static SSL_CTX* set_up_legacy_tls(SSL_CTX* context)
{
    if (context == nullptr)
        return nullptr;
    SSL_CTX_set_options(context, SSL_OP_NO_SSLv2 | SSL_OP_NO_SSLv3);
    SSL_CTX_set_cipher_list(context, CIPHER_LIST);
    allow_older_processors(context);
    return context;
}

// A context made for the modern hello.
static SSL_CTX* set_up_modern_tls(SSL_CTX* context)
{
    if (context != nullptr && !ask_for_modern_tls(context)) {
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

// The TLS contexts of the run's link, made at its first connection and used
// by every other (the probe's, the work connection, the firmware
// follow-up): making one costs the library some thousands of microseconds,
// and each connection would otherwise make its own with the same settings.
// They carry no session from one connection to the next (a client keeps no
// session cache by default), so every handshake is as it was. With the
// library's own maker every link of the process shares one context of each
// kind, set up once and never changed after (the library lets threads share
// a context so), each link holding a reference: runs that go side by side
// in one process (the fleet mode) do not each make their own. A test's
// maker makes the link's own, and so does a run with authorities of its own
// (QUORVEX_CA_FILE), which are loaded into its contexts.
static SSL_CTX* process_or_own_context(Link& link, SSL_CTX* (*set_up)(SSL_CTX*), SSL_CTX* process_context)
{
    if (link.context_maker == make_tls_context && link.run.settings.ca_file == nullptr) {
        if (process_context != nullptr && SSL_CTX_up_ref(process_context) == 1)
            return process_context;
        return nullptr;
    }
    return set_up(link.context_maker());
}

static SSL_CTX* legacy_tls_context(Link& link)
{
    if (link.shared_context == nullptr) {
        static SSL_CTX* const process_context = set_up_legacy_tls(make_tls_context());
        link.shared_context = process_or_own_context(link, set_up_legacy_tls, process_context);
    }
    return link.shared_context;
}

static SSL_CTX* modern_tls_context(Link& link)
{
    if (link.modern_context == nullptr) {
        static SSL_CTX* const process_context = set_up_modern_tls(make_tls_context());
        link.modern_context = process_or_own_context(link, set_up_modern_tls, process_context);
    }
    return link.modern_context;
}

// Why the handshake failed: what the two sides could not agree on, the
// processor's alert, or the system's error.
static void note_handshake_cause(Link& link)
{
    RunContext& run = link.run;
    std::string where = format_text("%s:%s", run.settings.server_address, run.settings.port_text);
    if (last_wait_timed_out()) {
        note_cause(run, Cause::tls_handshake,
                   format_text("the processor at %s sent nothing for %d second%s during the TLS handshake", where.c_str(),
                               run.settings.data_wait_seconds, plural(run.settings.data_wait_seconds)),
                   0, error_name(WSAETIMEDOUT));
        return;
    }
    unsigned long queued = ERR_peek_error();
    if (queued == 0) {
        int error = WSAGetLastError();
        std::string name = error_name(error);
        std::string what = error != 0 ? ": " + system_error_text(error) + named(name) : ": it closed the connection";
        note_cause(run, Cause::tls_handshake, "the processor at " + where + " ended the TLS handshake" + what, 0, name);
        return;
    }
    const char* reason = ERR_reason_error_string(queued);
    std::string said = reason != nullptr ? reason : "an unknown TLS error";
    switch (ERR_GET_REASON(queued)) {
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_VERSION_TOO_LOW:
    case SSL_R_VERSION_TOO_HIGH:
    case SSL_R_NO_SHARED_CIPHER:
    case SSL_R_NO_CIPHERS_AVAILABLE:
    case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
        note_cause(run, Cause::tls_no_common_protocol,
                   "the processor at " + where + " and quorvex found no protocol version or cipher in common: " + said);
        return;
    default:
        note_cause(run, Cause::tls_handshake, "the processor at " + where + " did not complete the TLS handshake: " + said);
        return;
    }
}

void release_connection(Link& link)
{
    if (link.connection.tls != nullptr || link.connection.socket >= 0)
        drop_connection(link.connection);
    SSL_CTX_free(link.shared_context);
    link.shared_context = nullptr;
    SSL_CTX_free(link.modern_context);
    link.modern_context = nullptr;
}

namespace {

enum class Handshake {
    done,
    declined,  // the peer refused or dropped the hello itself: another hello may do
    failed,
    no_connection,  // no TCP connection (tcpClient said why)
};

// A TCP connection and one handshake on it with the given context.
Handshake handshake(Link& link, SSL_CTX* context)
{
    Connection& connection = link.connection;
    connection.context = context;
    connection.socket = tcpClient(link);
    if (connection.socket < 0)
        return Handshake::no_connection;
    connection.tls = SSL_new(connection.context);
    expect_server_name(link.run, connection.tls);
    attach_socket(connection.tls, connection.socket);
    // An answer comes as a few records (TLS 1.0 splits each write of the
    // processor in two): what has arrived is read from the socket in one
    // go, not the header and the body of each record by itself.
    SSL_set_read_ahead(connection.tls, 1);
    SSL_set_connect_state(connection.tls);

    WSASetLastError(0);
    int connected = SSL_connect(connection.tls);
    if (connected == 1)
        return Handshake::done;
    if (last_wait_timed_out())
        return Handshake::failed;
    // Nothing came back but a refusal of the hello: an alert that it offers
    // no version or suite the peer speaks, or a close or reset (what older
    // TLS stacks do with a hello they cannot read).
    if (SSL_get_state(connection.tls) != TLS_ST_CW_CLNT_HELLO)
        return Handshake::failed;
    int reason = ERR_GET_REASON(ERR_peek_last_error());
    bool refused_hello = reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION ||
                         reason == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE ||
                         reason == SSL_R_UNEXPECTED_EOF_WHILE_READING ||
                         SSL_get_error(connection.tls, connected) == SSL_ERROR_SYSCALL;
    return refused_hello ? Handshake::declined : Handshake::failed;
}

// The hello a connection starts with: the modern one, unless the processor
// is known to speak only the legacy protocol.
bool starts_modern(const Link& link)
{
    return link.run.settings.modern_tls_only || link.processor_speaks != ProcessorProtocol::legacy;
}

// The line that says what was negotiated; today's words for Triple-DES.
void show_negotiated(Link& link)
{
    SSL* tls = link.connection.tls;
    const SSL_CIPHER* cipher = SSL_get_current_cipher(tls);
    const char* suite = cipher != nullptr ? SSL_CIPHER_standard_name(cipher) : nullptr;
    if (suite == nullptr)
        suite = "";
    report_tls(link.run, SSL_get_version(tls), suite);
    if (link.cipher_shown)
        return;
    link.cipher_shown = true;
    if (std::strstr(suite, "3DES") != nullptr) {
        console_only(link.run, "Negotiated cipher: 168-bit Triple DES with RSA and a SHA1 MAC\r\n\r\n");
        return;
    }
    console_only(link.run, "Negotiated cipher: %d-bit %s over %s\r\n\r\n", SSL_CIPHER_get_bits(cipher, nullptr), suite,
                 SSL_get_version(tls));
}

}  // namespace

Flow SIO_connect(Link& link)
{
    Connection& connection = link.connection;
    ignore_broken_pipes();

    // The library reads no configuration file (openssl.cnf, or whatever
    // OPENSSL_CONF names): one could load a provider module and run its
    // code in this process. This is the first call into the library.
    OPENSSL_init_ssl(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_LOAD_SSL_STRINGS |
                         OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                     nullptr);

    SSL_CTX* modern = modern_tls_context(link);
    SSL_CTX* legacy = modern != nullptr ? legacy_tls_context(link) : nullptr;
    if (legacy == nullptr) {
        log_only(link.run, "\rSSL_CTX_new failed.\r\n");
        console_only(link.run, "SSL_CTX_new failed.\nPlease check log file for more information.\n");
        // The library's own account of the failure, in the log.
        BIO* log_output = link.run.state.log_stream ? BIO_new_fp(link.run.state.log_stream, BIO_NOCLOSE) : nullptr;
        if (log_output)
            ERR_print_errors(log_output);
        BIO_free(log_output);
        log_error(link.run, "SSL_CTX_new:reason(%d).\r\n", WSAGetLastError());
        note_cause(link.run, Cause::tls_context, {});
        drop_connection(connection);
        record_failure(link.run, RunCode::failed_command);
        return Flow::end_now;
    }
    if (!link.authorities_loaded) {
        link.authorities_loaded = true;
        if (!trust_authorities(link.run, modern) || !trust_authorities(link.run, legacy)) {
            log_error(link.run, "QUORVEX_CA_FILE=%s cannot be read as PEM certificates. Nothing was sent.\r\n",
                      link.run.settings.ca_file);
            ERR_clear_error();
            note_cause(link.run, Cause::settings_refused,
                       format_text("QUORVEX_CA_FILE=%s cannot be read as PEM certificates", link.run.settings.ca_file));
            record_failure(link.run, RunCode::unusable);
            return Flow::end_now;
        }
    }
    if (!link.protocol_looked_up) {
        link.protocol_looked_up = true;
        link.processor_speaks = known_processor_protocol(link.run);
    }

    // The other hello is tried once, when the processor refused the first:
    // an older one refuses the modern hello, an upgraded one the legacy.
    bool modern_first = starts_modern(link);
    Handshake outcome = handshake(link, modern_first ? modern : legacy);
    if (outcome == Handshake::declined) {
        if (modern_first && link.run.settings.modern_tls_only) {
            log_error(link.run, "The processor at \"%s:%s\" speaks no TLS 1.2 or better; QUORVEX_TLS_MIN=1.2 refuses "
                      "TLS 1.0. Nothing was sent.\r\n",
                      link.run.settings.server_address, link.run.settings.port_text);
            note_cause(link.run, Cause::tls_no_common_protocol,
                       format_text("the processor at %s:%s speaks no TLS 1.2 or better; QUORVEX_TLS_MIN=1.2 refuses TLS 1.0",
                                   link.run.settings.server_address, link.run.settings.port_text));
            drop_connection(connection);
            record_failure(link.run, RunCode::unusable);
            return Flow::end_now;
        }
        drop_connection(connection);
        outcome = handshake(link, modern_first ? legacy : modern);
    }
    if (outcome != Handshake::done) {
        if (outcome != Handshake::no_connection)
            note_handshake_cause(link);
        if (outcome != Handshake::no_connection && last_wait_timed_out()) {
            report_data_wait_timeout(link);
            set_wait_timed_out();
        }
        return connection_failed(link, RunCode::unusable);
    }
    link.processor_speaks = SSL_version(connection.tls) >= TLS1_2_VERSION ? ProcessorProtocol::modern
                                                                           : ProcessorProtocol::legacy;
    show_negotiated(link);
    // The processor's certificate and key are checked before the
    // conversation's first byte.
    if (check_processor_certificate(link.run, connection.tls) == Flow::end_now ||
        check_processor_identity(link.run, connection.tls) == Flow::end_now) {
        drop_connection(connection);
        return Flow::end_now;
    }
    return Flow::go_on;
}

void connection_teardown(Link& link)
{
    Connection& connection = link.connection;
    if (connection.tls == nullptr && connection.context == nullptr && connection.socket < 0)
        return;
    if (connection.tls != nullptr) {
        // What is still queued goes before the close notification.
        static_cast<void>(tls_flush(link));
        SSL_shutdown(connection.tls);
    }
    drop_connection(connection);
}
