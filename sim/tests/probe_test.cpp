// The generation probe, as both processor generations answer it, and what
// mpsim records about the connection.
#include <gtest/gtest.h>

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

TEST(Handshake, RefusesClientsWithoutTls10)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {}));
    TlsClient client;
    EXPECT_FALSE(client_connect(client, sim.port, true));
    client_close(client);
    EXPECT_EQ(stop_sim(sim), 0) << "a stop request ends mpsim cleanly";
    const std::string record = sim.folder + "/record/conn-1.";
    EXPECT_NE(read_text_file(record + "hello").find("supported_versions: TLSv1.3"), std::string::npos)
        << read_text_file(record + "hello");
    EXPECT_NE(read_text_file(record + "summary").find("end=handshake-failed"), std::string::npos)
        << read_text_file(record + "summary");
}

} // namespace
