// One mpsim playing several processors: a port, an identity, a record
// folder each, and connections of different processors served side by
// side; and the wait of --answer-delay before answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/tests/sim_client.h"

namespace {

const std::string probe_request = "POST /moxcl HTTP/1.1\r\nHOST: tester\r\nContent-length: 30\r\n\r\n"
                                   "<MOXCL VERSION=\"2.0\"></MOXCL>\r\n";

// Starts the utility in `folder`, its output going to files there.
pid_t start_quorvex(const std::string& folder, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), QUORVEX_PROGRAM);
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int out = ::open((folder + "/output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || ::chdir(folder.c_str()) != 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int exit_status(pid_t pid)
{
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A test that fails half-way leaves no simulator behind.
struct StoppedAtEnd {
    SimProcess& sim;
    ~StoppedAtEnd() { stop_sim(sim); }
};

bool exists(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0;
}

TEST(Fleet, EachProcessorHasItsOwnPortRecordsAndData)
{
    SimProcess sim;
    // Two runs of two connections each (the probe, the script).
    ASSERT_TRUE(start_sim(sim, {"--processors", "3", "--connections", "4"}));
    StoppedAtEnd stopped{sim};
    ASSERT_EQ(sim.ports.size(), 3u);
    EXPECT_NE(sim.ports[0], sim.ports[1]);
    EXPECT_NE(sim.ports[1], sim.ports[2]);

    const std::string script = QUORVEX_EXAMPLES "/read_settings.xml";
    std::vector<pid_t> runs;
    for (int processor : {1, 3})
        runs.push_back(start_quorvex(sim.folder, {"-s", "127.0.0.1:" + std::to_string(sim.ports[processor - 1]),
                                                  "-f", script, "-j", "report-" + std::to_string(processor) + ".json"}));
    for (pid_t run : runs)
        EXPECT_EQ(exit_status(run), 0) << read_text_file(sim.folder + "/output");
    EXPECT_EQ(wait_sim(sim, 10), 0);

    for (int processor : {1, 3}) {
        const std::string record = sim.folder + "/record/" + std::to_string(processor) + "/conn-";
        EXPECT_EQ(read_text_file(record + "1.summary").rfind("kind=probe ", 0), 0u) << processor;
        EXPECT_EQ(read_text_file(record + "2.summary").rfind("kind=http ", 0), 0u) << processor;
        EXPECT_NE(read_text_file(record + "2.received").find("<GET_NETWORK_SETTINGS/>"), std::string::npos)
            << processor;
    }
    EXPECT_FALSE(exists(sim.folder + "/record/2/conn-1.summary")) << "processor 2 had no client";
    EXPECT_FALSE(exists(sim.folder + "/record/conn-1.summary")) << "several processors record in folders of their own";

    // Processor K plays the identity sim-K: its own data.
    const std::string first = read_text_file(sim.folder + "/report-1.json");
    const std::string third = read_text_file(sim.folder + "/report-3.json");
    EXPECT_NE(first.find("\"mp-sim-1\""), std::string::npos) << first;
    EXPECT_NE(third.find("\"mp-sim-3\""), std::string::npos) << third;
    EXPECT_EQ(third.find("\"mp-sim-1\""), std::string::npos) << third;
}

TEST(Fleet, AClientThatSaysNothingHoldsNoOtherProcessorBack)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--processors", "2", "--generation", "stream"}));
    StoppedAtEnd stopped{sim};
    ASSERT_EQ(sim.ports.size(), 2u);
    TlsClient silent;
    ASSERT_TRUE(client_connect(silent, sim.ports[0]));

    // Served while processor 1 still waits for its client (10 s by default;
    // this client gives up after 5).
    TlsClient prober;
    std::string reply;
    EXPECT_TRUE(client_connect(prober, sim.ports[1]) && client_send(prober, probe_request) &&
                client_read(prober, reply, 2048) > 0);
    EXPECT_NE(reply.find("STATUS=\"0x0000\""), std::string::npos) << reply;
    client_close(prober);
    client_close(silent);
    EXPECT_EQ(stop_sim(sim), 0);
}

struct DelayCase {
    const char* generation;
    std::string request;  // its first answer is waited for
};

class AnswerDelay : public testing::TestWithParam<DelayCase> {};

TEST_P(AnswerDelay, ComesBeforeTheAnswer)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--generation", GetParam().generation, "--answer-delay", "1000",
                                "--connections", "1"}));
    StoppedAtEnd stopped{sim};
    TlsClient client;
    ASSERT_TRUE(client_connect(client, sim.port));
    auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(client_send(client, GetParam().request));
    std::string reply;
    ASSERT_GT(client_read(client, reply, 2048), 0);
    auto waited = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(waited, std::chrono::milliseconds(1000)) << reply;
    client_close(client);
    EXPECT_EQ(wait_sim(sim, 10), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Generations, AnswerDelay,
    testing::Values(DelayCase{"http", probe_request}, DelayCase{"stream", "<?xml version=\"1.0\"?>\r\n"}),
    [](const testing::TestParamInfo<DelayCase>& info) { return std::string(info.param.generation); });

} // namespace
