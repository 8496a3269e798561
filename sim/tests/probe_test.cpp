// The generation probe, as both processor generations answer it, and what
// mpsim records about the connection.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>

#include "sim/tests/sim_client.h"

namespace {

const std::string probe_request = "POST /moxcl HTTP/1.1\r\nHOST: tester\r\nContent-length: 30\r\n\r\n"
                                   "<MOXCL VERSION=\"2.0\"></MOXCL>\r\n";

struct ProbeCase {
    const char* generation;
    bool http_reply;
};

class ProbeTest : public testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, AnswersTheProbeOnceAndCloses)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--generation", GetParam().generation, "--connections", "1"}));
    TlsClient client;
    ASSERT_TRUE(client_connect(client, sim.port));
    ASSERT_EQ(SSL_version(client.ssl), TLS1_VERSION);
    ASSERT_TRUE(client_send(client, probe_request));
    std::string reply;
    ASSERT_GT(client_read(client, reply, 2048), 0);
    EXPECT_EQ(reply.find("HTTP/1.1 200 OK") != std::string::npos, GetParam().http_reply) << reply;
    if (!GetParam().http_reply) {
        int major = 0, minor = 0;
        unsigned status = 1;
        std::string message;
        EXPECT_TRUE(scan_response(reply, major, minor, status, message)) << reply;
        EXPECT_EQ(major * 100 + minor, 222);
    }
    bool clean = false;
    client_read_to_end(client, &clean);
    EXPECT_TRUE(clean);
    client_close(client);
    EXPECT_EQ(wait_sim(sim, 10), 0);

    const std::string record = sim.folder + "/record/conn-1.";
    EXPECT_EQ(read_text_file(record + "hello"),
              "version: TLSv1\nciphers: DES-CBC3-SHA:DHE-RSA-DES-CBC3-SHA:DHE-DSS-DES-CBC3-SHA\n");
    EXPECT_EQ(read_text_file(record + "received"), probe_request);
    const std::string in = "kind=probe in=" + std::to_string(probe_request.size()) + " out=";
    EXPECT_EQ(read_text_file(record + "summary").rfind(in, 0), 0u)
        << read_text_file(record + "summary");
}

INSTANTIATE_TEST_SUITE_P(Generations, ProbeTest,
                         testing::Values(ProbeCase{"stream", false}, ProbeCase{"http", true}),
                         [](const testing::TestParamInfo<ProbeCase>& info) {
                             return std::string(info.param.generation);
                         });

// A hello above TLS 1.0 is declined and counts as no connection: the
// hello is kept as declined-1.hello, and the connection that follows is
// the first (with --connections 1, the one mpsim waits for).
TEST(Handshake, ANewerHelloIsDeclinedAndCountsAsNoConnection)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--connections", "1"}));
    TlsClient modern;
    EXPECT_FALSE(client_connect(modern, sim.port, true));
    client_close(modern);
    TlsClient legacy;
    ASSERT_TRUE(client_connect(legacy, sim.port));
    client_close(legacy);
    EXPECT_EQ(wait_sim(sim, 10), 0);
    const std::string record = sim.folder + "/record/";
    EXPECT_NE(read_text_file(record + "declined-1.hello").find("supported_versions: TLSv1.3"), std::string::npos)
        << read_text_file(record + "declined-1.hello");
    EXPECT_EQ(read_text_file(record + "conn-1.hello").rfind("version: TLSv1\n", 0), 0u);
}

// What each kind of --tls lets a modern and a legacy client agree on
// (0: the handshake fails).
TEST(Handshake, EachTlsKindSpeaksItsProtocols)
{
    struct Case {
        const char* kind;
        int modern;
        int legacy;
    };
    const Case cases[] = {
        {"legacy", 0, TLS1_VERSION},
        {"old-stack", 0, TLS1_VERSION},
        {"modern", TLS1_3_VERSION, 0},
        {"both", TLS1_3_VERSION, TLS1_VERSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        SimProcess sim;
        ASSERT_TRUE(start_sim(sim, {"--tls", c.kind}));
        for (bool modern : {true, false}) {
            TlsClient client;
            bool connected = client_connect(client, sim.port, modern);
            int expected = modern ? c.modern : c.legacy;
            EXPECT_EQ(connected, expected != 0) << (modern ? "modern" : "legacy");
            if (connected) {
                EXPECT_EQ(SSL_version(client.ssl), expected);
            }
            client_close(client);
        }
        EXPECT_EQ(stop_sim(sim), 0);
        // The old stack resets the modern hello: it sends no alert.
        EXPECT_EQ(read_text_file(sim.folder + "/record/declined-1.hello").find("reset") != std::string::npos,
                  std::string(c.kind) == "old-stack");
    }
}

// The same key store gives a simulator the same key at every start.
TEST(Identity, KeptAcrossRestarts)
{
    char folder[] = "/tmp/mpsim-store-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string store = std::string(folder) + "/state/identity.pem";
    std::string seen[2];
    for (std::string& key : seen) {
        SimProcess sim;
        ASSERT_TRUE(start_sim(sim, {"--key-store", store}));
        TlsClient client;
        ASSERT_TRUE(client_connect(client, sim.port));
        X509* certificate = SSL_get1_peer_certificate(client.ssl);
        ASSERT_NE(certificate, nullptr);
        unsigned char* der = nullptr;
        int length = i2d_X509(certificate, &der);
        key.assign(reinterpret_cast<char*>(der), static_cast<size_t>(length));
        OPENSSL_free(der);
        X509_free(certificate);
        client_close(client);
        EXPECT_EQ(stop_sim(sim), 0);
    }
    EXPECT_FALSE(seen[0].empty());
    EXPECT_EQ(seen[0], seen[1]);
    std::remove(store.c_str());
    std::remove((std::string(folder) + "/state").c_str());
    std::remove(folder);
}

} // namespace
