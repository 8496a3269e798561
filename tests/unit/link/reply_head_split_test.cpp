// A processor may split its writes anywhere: a reply head whose status line
// arrives in pieces is read to its end before it is judged, in the probe and
// in the script's reply; and chunk framing cut by a read's end is carried
// into the next read.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/http_probe.h"
#include "link/http_reply.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"
#include "sim_peer.h"

namespace {

const std::string PROBE_END = "<MOXCL VERSION=\"2.0\"></MOXCL>\r\n";
const std::string HEAD = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

// Fresh run records for the next try, the fixture's log kept.
void fresh_run(RunContext& run)
{
    FILE* log = run.state.log_stream;
    run = RunContext{};
    run.state.log_stream = log;
    std::snprintf(run.settings.program_name, sizeof run.settings.program_name, "quorvex");
    run.state.checking_pass = false;
}

using Probe = LinkTest;

TEST_F(Probe, StatusLineSplitAnywhereStillMeansHttp)
{
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    for (size_t cut : {1u, 5u, 9u, 12u, 14u, 16u}) {
        SCOPED_TRACE(cut);
        fresh_run(run);
        SimPeer processor(link, {read_until(PROBE_END), send_step(ok.substr(0, cut)), send_step(ok.substr(cut))});
        ProcessorGeneration generation = ProcessorGeneration::stream;
        testing::internal::CaptureStdout();
        EXPECT_EQ(generation_probe(link, generation), Flow::go_on);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(generation, ProcessorGeneration::http);
        processor.finish();
    }
    // An older processor's answer is no HTTP: judged at once.
    fresh_run(run);
    SimPeer older(link, {read_until(PROBE_END), send_step(response_text("0x0000", "No error"))});
    ProcessorGeneration generation = ProcessorGeneration::http;
    EXPECT_EQ(generation_probe(link, generation), Flow::go_on);
    EXPECT_EQ(generation, ProcessorGeneration::stream);
    older.finish();
}

using ReplySplit = LinkTest;

// The script's reply, an error answer in one chunk, written in two pieces
// cut at every place: the run always ends with the answer's status.
TEST_F(ReplySplit, EveryCutGivesTheAnswersStatus)
{
    const std::string answer =
        "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"2.23\">\r\n<RESPONSE STATUS=\"0x005F\" MESSAGE='Bad value'/>\r\n"
        "</MOXCL>\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", answer.size());
    const std::string reply = HEAD + size + answer + "\r\n0\r\n\r\n";
    for (size_t cut = 1; cut < reply.size(); ++cut) {
        SCOPED_TRACE(cut);
        fresh_run(run);
        run.state.processor_generation = ProcessorGeneration::http;
        SimPeer processor(link, {send_step(reply.substr(0, cut)), send_step(reply.substr(cut)), close_step()});
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        testing::internal::CaptureStdout();
        EXPECT_EQ(reply_read_loop(link, false), Flow::go_on);
        std::string shown = testing::internal::GetCapturedStdout();
        EXPECT_EQ(run.state.run_status, 0);
        EXPECT_EQ(status_scan(link), 0x5F);
        EXPECT_NE(shown.find(answer), std::string::npos);
        connection_teardown(link);
        processor.finish();
    }
}

// A reply that ends in a size line ends inside a chunk (run status 3),
// unless the size is 0: the last chunk.
TEST_F(ReplySplit, EndingInASizeLine)
{
    for (const auto& [tail, status] : std::vector<std::pair<std::string, int>>{
             {"1b", 3}, {"1b\r", 3}, {"0", 0}, {"0\r", 0}}) {
        SCOPED_TRACE(tail);
        fresh_run(run);
        run.state.processor_generation = ProcessorGeneration::http;
        SimPeer processor(link, {send_step(HEAD + "3\r\nabc\r\n"), send_step(tail), close_step()});
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        testing::internal::CaptureStdout();
        EXPECT_EQ(reply_read_loop(link, false), Flow::go_on);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(run.state.run_status, status);
        connection_teardown(link);
        processor.finish();
    }
}

}  // namespace
