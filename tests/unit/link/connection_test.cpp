#include <gtest/gtest.h>

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "sim_peer.h"
#include "link/link.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

class Connecting : public LinkTest {};

// A loopback port that nothing listens on.
int closed_port()
{
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

int open_descriptors()
{
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (readdir(folder) != nullptr)
        ++count;
    closedir(folder);
    return count;
}

TEST_F(Connecting, HelloOffersTls10AndExactlyTheThreeSuites)
{
    SimPeer processor(link, {});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    processor.finish();
    ASSERT_TRUE(processor.handshake_done);
    EXPECT_EQ(processor.negotiated_version, TLS1_VERSION);
    EXPECT_EQ(processor.hello.legacy_version, 0x0301u);
    std::vector<unsigned> suites;
    for (unsigned suite : processor.hello.cipher_suites)
        if (suite != 0x00FF)  // the renegotiation signalling value is no suite
            suites.push_back(suite);
    EXPECT_EQ(suites, (std::vector<unsigned>{0x000A, 0x0016, 0x0013}));
    const std::vector<int>& extensions = processor.hello.extensions;
    for (int unwanted : {0 /* server name */, 22 /* encrypt-then-mac */, 35 /* session ticket */})
        EXPECT_EQ(std::count(extensions.begin(), extensions.end(), unwanted), 0) << "extension " << unwanted;
}

// Stream mode writes token by token and then waits for an answer: held-back
// small writes would cost a delayed acknowledgement at every answer.
TEST_F(Connecting, SmallWritesAreNotHeldBack)
{
    SimPeer processor(link, {});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    int on = 0;
    socklen_t length = sizeof on;
    ASSERT_EQ(getsockopt(link.connection.socket, IPPROTO_TCP, TCP_NODELAY, &on, &length), 0);
    EXPECT_NE(on, 0);
    processor.finish();
}

TEST_F(Connecting, TeardownClearsTheRecordOnceAndTheNextConnectionStartsAfresh)
{
    {
        SimPeer probe(link, {send_step("HTTP/1.0 400 Bad Request\r\n\r\n")});
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        EXPECT_NE(link.connection.tls, nullptr);
        connection_teardown(link);
        EXPECT_EQ(link.connection.tls, nullptr);
        EXPECT_EQ(link.connection.context, nullptr);
        EXPECT_EQ(link.connection.socket, -1);
        connection_teardown(link);
    }
    SimPeer work(link, {read_until("\r\n"), send_step(response_text("0x0000", "No error"))});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    EXPECT_EQ(plain_send(link, "<?xml version=\"1.0\"?>\r\n"), LinkResult::ok);
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::ok);
    work.finish();
    EXPECT_EQ(work.received, "<?xml version=\"1.0\"?>\r\n");
}

TEST_F(Connecting, CloseWithoutNotificationReadsAsEndOfData)
{
    SimPeer processor(link, {send_step("last words"), close_step()});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    char buffer[64] = {};
    EXPECT_EQ(tls_read(link, buffer, 63), 10);
    int end = tls_read(link, buffer, 63);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(SSL_get_error(link.connection.tls, end), SSL_ERROR_ZERO_RETURN);
}

TEST_F(Connecting, RefusedSocketsAreClosed)
{
    std::snprintf(run.settings.server_address, sizeof run.settings.server_address, "127.0.0.1");
    std::snprintf(run.settings.port_text, sizeof run.settings.port_text, "%d", closed_port());
    int before = open_descriptors();
    EXPECT_EQ(tcpClient(link), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
    EXPECT_EQ(open_descriptors(), before);
}

// A connection that cannot be made ends the run at once with -1: the
// reason is in the log, and nothing of the attempt is left open.
TEST_F(Connecting, FailedConnectionsEndTheRun)
{
    struct Case {
        const char* name;
        const char* host;
        std::string port;
        const char* log;  // regular expression
    };
    const Case cases[] = {
        {"unresolvable host", "no-such-host.invalid", "443",
         "quorvex: ERROR: tcpClient connect failed -?[0-9]+ \r\nquorvex: ERROR: SIO_connect:reason\\(-?[0-9]+\\)\\.\r\n"},
        {"closed port", "127.0.0.1", std::to_string(closed_port()), "quorvex: ERROR: SIO_connect:reason\\(111\\)\\.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        std::snprintf(run.settings.server_address, sizeof run.settings.server_address, "%s", c.host);
        std::snprintf(run.settings.port_text, sizeof run.settings.port_text, "%s", c.port.c_str());
        int before = open_descriptors();
        EXPECT_EQ(SIO_connect(link), Flow::end_now);
        EXPECT_EQ(run.state.run_status, -1);
        EXPECT_TRUE(std::regex_match(log_text(), std::regex(c.log))) << log_text();
        EXPECT_EQ(link.connection.tls, nullptr);
        EXPECT_EQ(link.connection.socket, -1);
        EXPECT_EQ(open_descriptors(), before);
    }
}

// Every processor is reached with the strongest TLS it speaks: the modern
// hello first, and the legacy one (a second connection) only for a
// processor that refused the first with an alert or a reset.
TEST_F(Connecting, EachProcessorIsReachedWithTheStrongestTlsItSpeaks)
{
    struct Case {
        const char* name;
        ProcessorOptions options;
        int version;
        int declined;
        const char* shown;  // regular expression
    };
    const char* modern_suites = "ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384";
    const char* both_suites = "ECDHE-RSA-AES256-GCM-SHA384:DES-CBC3-SHA:@SECLEVEL=0";
    const char* triple_des = "Negotiated cipher: 168-bit Triple DES with RSA and a SHA1 MAC\r\n\r\n";
    const Case cases[] = {
        {"TLS 1.0 only", {}, TLS1_VERSION, 1, triple_des},
        {"an old stack that resets a newer hello", {TLS1_VERSION, TLS1_VERSION, nullptr, true}, TLS1_VERSION, 1,
         triple_des},
        {"TLS 1.2 only", {TLS1_2_VERSION, TLS1_2_VERSION, modern_suites}, TLS1_2_VERSION, 0,
         "Negotiated cipher: 128-bit TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256 over TLSv1\\.2\r\n\r\n"},
        {"TLS 1.2 and 1.3", {TLS1_2_VERSION, TLS1_3_VERSION, modern_suites}, TLS1_3_VERSION, 0,
         "Negotiated cipher: (128|256)-bit TLS_[A-Z0-9_]+ over TLSv1\\.3\r\n\r\n"},
        {"TLS 1.0 to 1.3", {TLS1_VERSION, TLS1_3_VERSION, both_suites}, TLS1_3_VERSION, 0,
         "Negotiated cipher: (128|256)-bit TLS_[A-Z0-9_]+ over TLSv1\\.3\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Link each(run);  // knows nothing of the processors before
        testing::internal::CaptureStdout();
        SimPeer processor(each, {read_until("\n")}, c.options);
        ASSERT_EQ(SIO_connect(each), Flow::go_on);
        EXPECT_EQ(plain_send(each, "done\n"), LinkResult::ok);
        processor.finish();
        std::string shown = testing::internal::GetCapturedStdout();
        EXPECT_EQ(processor.negotiated_version, c.version);
        EXPECT_EQ(processor.declined, c.declined);
        EXPECT_EQ(processor.received, "done\n");
        EXPECT_TRUE(std::regex_match(shown, std::regex(c.shown))) << shown;
        EXPECT_EQ(log_text(), "");
    }
}

// The second connection of a run to an older processor offers the legacy
// hello at once: the refused modern hello is paid once.
TEST_F(Connecting, AnOlderProcessorIsAskedTheModernHelloOnce)
{
    for (int connection = 1; connection <= 2; ++connection) {
        SimPeer processor(link, {});
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        processor.finish();
        EXPECT_EQ(processor.declined, connection == 1 ? 1 : 0);
        EXPECT_EQ(processor.negotiated_version, TLS1_VERSION);
    }
}

// A processor that speaks neither hello's protocol and suites ends the run
// with -1; QUORVEX_TLS_MIN=1.2 ends it at an older processor's refusal of
// the modern hello, without a second handshake.
TEST_F(Connecting, RefusedHandshakesEndTheRun)
{
    {
        ProcessorOptions cbc_only{TLS1_2_VERSION, TLS1_2_VERSION, "AES128-SHA"};
        cbc_only.connections = 2;
        SimPeer processor(link, {}, cbc_only);
        EXPECT_EQ(SIO_connect(link), Flow::end_now);
        processor.finish();
        EXPECT_EQ(run.state.run_status, -1);
        EXPECT_EQ(log_text(), "quorvex: ERROR: SIO_connect:reason(0).\r\n");
        EXPECT_EQ(link.connection.tls, nullptr);
    }
    run.state.run_status = 0;
    Link strict(run);
    run.settings.modern_tls_only = true;
    SimPeer processor(strict, {});
    EXPECT_EQ(SIO_connect(strict), Flow::end_now);
    processor.finish();
    EXPECT_EQ(run.state.run_status, -1);
    EXPECT_EQ(processor.declined, 1);
    EXPECT_FALSE(processor.handshake_done);
    EXPECT_EQ(log_text().substr(log_text().find('\n') + 1), "quorvex: ERROR: The processor at \"127.0.0.1:" + std::string(run.settings.port_text) +
                              "\" speaks no TLS 1.2 or better; QUORVEX_TLS_MIN=1.2 refuses TLS 1.0. Nothing was "
                              "sent.\r\n");
}

// The library cannot make a TLS context: the run ends at once as a failed
// one (1), saying so on the console and in the log, with no socket opened.
TEST_F(Connecting, NoTlsContextEndsTheRunAsAFailure)
{
    link.context_maker = [] { return static_cast<SSL_CTX*>(nullptr); };
    int before = open_descriptors();
    testing::internal::CaptureStdout();
    EXPECT_EQ(SIO_connect(link), Flow::end_now);
    std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(std::regex_match(shown, std::regex("SSL_CTX_new failed.\nPlease check log file for more information.\n"
                                                   "quorvex: ERROR: SSL_CTX_new:reason\\(-?[0-9]+\\)\\.\r\n")))
        << shown;
    EXPECT_EQ(run.state.run_status, 1);
    EXPECT_NE(log_text().find("\rSSL_CTX_new failed.\r\n"), std::string::npos) << log_text();
    EXPECT_NE(log_text().find("quorvex: ERROR: SSL_CTX_new:reason("), std::string::npos) << log_text();
    EXPECT_EQ(link.connection.context, nullptr);
    EXPECT_EQ(link.connection.socket, -1);
    EXPECT_EQ(open_descriptors(), before);
    // The next run's link makes its contexts as before.
    Link next(run);
    EXPECT_EQ(next.context_maker, &make_tls_context);
}

// A socket listening on a free loopback port, which address gets.
int loopback_listener(int backlog, sockaddr_in& address)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, backlog);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return listener;
}

// A loopback listener that never accepts and whose queue is full: the
// kernel drops further connection requests, so a connect gets no answer.
class UnansweredListener {
public:
    UnansweredListener()
    {
        sockaddr_in address{};
        listener_ = loopback_listener(0, address);
        port = ntohs(address.sin_port);
        for (int& filler : fillers_) {
            filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
    ~UnansweredListener()
    {
        for (int filler : fillers_)
            close(filler);
        close(listener_);
    }
    int port = 0;

private:
    int listener_ = -1;
    int fillers_[2] = {-1, -1};
};

TEST_F(Connecting, ConnectWithoutAnswerGivesUpAtItsLimit)
{
    UnansweredListener listener;
    std::snprintf(run.settings.server_address, sizeof run.settings.server_address, "127.0.0.1");
    std::snprintf(run.settings.port_text, sizeof run.settings.port_text, "%d", listener.port);
    run.settings.connect_wait_seconds = 1;
    int before = open_descriptors();
    EXPECT_EQ(tcpClient(link), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(log_text(), "quorvex: ERROR: Waited 1 second for \"127.0.0.1:" + std::string(run.settings.port_text) +
                              "\" to accept the connection: giving up (QUORVEX_TIMEOUT).\r\n");
}

// A peer that takes the connection and never answers the hello.
TEST_F(Connecting, SilentHandshakeEndsTheRunAtTheWaitLimit)
{
    sockaddr_in address{};
    int listener = loopback_listener(4, address);
    std::snprintf(run.settings.server_address, sizeof run.settings.server_address, "127.0.0.1");
    std::snprintf(run.settings.port_text, sizeof run.settings.port_text, "%d", ntohs(address.sin_port));
    run.settings.data_wait_seconds = 1;
    EXPECT_EQ(SIO_connect(link), Flow::end_now);
    EXPECT_EQ(run.state.run_status, -1);
    EXPECT_EQ(log_text(),
              "quorvex: ERROR: Waited 1 second for the MOX to send data: giving up (QUORVEX_TIMEOUT).\r\n"
              "quorvex: ERROR: SIO_connect:reason(110).\r\n");
    close(listener);
}

TEST_F(Connecting, LibraryConfigurationCannotRaiseTheFloor)
{
    EXPECT_EXIT(
        {
            std::string path = ::testing::TempDir() + "quorvex-strict-openssl.cnf";
            FILE* file = std::fopen(path.c_str(), "w");
            std::fputs("openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\nsystem_default = strict\n"
                       "[strict]\nMinProtocol = TLSv1.2\nCipherString = DEFAULT@SECLEVEL=2\n",
                       file);
            std::fclose(file);
            setenv("OPENSSL_CONF", path.c_str(), 1);
            SimPeer processor(link, {});
            static_cast<void>(SIO_connect(link));  // the handshake is what is looked at
            processor.finish();
            std::exit(processor.handshake_done ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
