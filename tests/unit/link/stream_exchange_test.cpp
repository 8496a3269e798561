#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sim_peer.h"
#include "link/connection.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

class StreamExchange : public LinkTest {};

TEST_F(StreamExchange, TokensGoOutReSpacedAndLongTokensWhole)
{
    std::string block(6000, 'A');
    SimPeer processor(link, {read_until("END\n")});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    for (const char* token : {"<", "MOXCL", "VERSION", "=", "\"2.0\"", ">", "</", "/>"})
        ASSERT_EQ(token_send(link, token), LinkResult::ok);
    ASSERT_EQ(token_send(link, block.c_str()), LinkResult::ok);
    ASSERT_EQ(token_send(link, "/END"), LinkResult::ok);
    processor.finish();
    EXPECT_EQ(processor.received, "< MOXCL VERSION = \"2.0\" >\n</ />\n" + block + " /END\n");
}

TEST_F(StreamExchange, MaskedTokenGoesOutWholeButIsTracedMasked)
{
    run.settings.verbose = true;
    SimPeer processor(link, {read_until("secret\" ")});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    ASSERT_EQ(token_send(link, "PASSWORD"), LinkResult::ok);
    ASSERT_EQ(masked_token_send(link, "\"secret\""), LinkResult::ok);
    processor.finish();
    EXPECT_EQ(processor.received, "PASSWORD \"secret\" ");
    EXPECT_EQ(log_text(), "quorvex: Sending (9):\r\nPASSWORD \r\n"
                          "quorvex: Sending (9):\r\n\"********\"\r\n");
}

TEST_F(StreamExchange, CheckingPassNeitherSendsNorReads)
{
    run.state.checking_pass = true;
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(token_send(link, "<"), LinkResult::ok);
    EXPECT_EQ(response_check(link, buffer, 63), LinkResult::ok);
    EXPECT_EQ(buffer[0], '\0');
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::http;
    EXPECT_EQ(response_check(link, buffer, 63), LinkResult::ok);
    EXPECT_EQ(log_text(), "");
}

TEST_F(StreamExchange, SuccessIsSilentAndRecordsTheVersion)
{
    SimPeer processor(link, {send_step(response_text("0x0000", "No error", "1.50"))});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    run.state.run_status = 0;
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::ok);
    EXPECT_EQ(run.state.run_status, 0);
    EXPECT_EQ(link.response_version.major, 1u);
    EXPECT_EQ(link.response_version.minor, 50u);
    EXPECT_EQ(log_text(), "");
}

TEST_F(StreamExchange, ErrorStatusBecomesRunStatusAndStopsTraffic)
{
    std::string answer = response_text("0x00A1", "Not allowed");
    SimPeer processor(link, {send_step(answer)});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::error_status);
    EXPECT_EQ(run.state.run_status, 161);
    EXPECT_EQ(token_send(link, "<"), LinkResult::skipped);
    EXPECT_EQ(plain_send(link, "more"), LinkResult::skipped);
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::skipped);
    // A check point after the failure reads nothing and leaves no text
    // behind: an element name the buffer held is never shown as an answer.
    char buffer[64] = "SET_ITEM_A";
    EXPECT_EQ(response_check(link, buffer, 63), LinkResult::skipped);
    EXPECT_STREQ(buffer, "");
    processor.finish();
    EXPECT_EQ(processor.received, "");
    EXPECT_EQ(log_text(), "quorvex: Response received from the MOX: (" + std::to_string(answer.size()) +
                              "):\r\n" + answer + "\r\n");
}

TEST_F(StreamExchange, MalformedResponseLeavesRunStatus)
{
    const char answer[] =
        "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE=''/></MOXCL>";
    SimPeer processor(link, {send_step(answer)});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::malformed_response);
    EXPECT_EQ(run.state.run_status, 0);
    EXPECT_EQ(link.response_version.minor, 22u);
    EXPECT_EQ(log_text(), "quorvex: ERROR: Malformed MOX response: (" + std::to_string(std::strlen(answer)) +
                              "):\r\n" + answer + "\r\n");
}

TEST_F(StreamExchange, WholeResponseIsDrainedToTheClosingRootTag)
{
    std::string head = "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/>";
    // "<END_MOXCL/>" in a later read does not end the drain.
    SimPeer processor(link, {send_step(head), send_step("<ITEM A=\"1\"/><END_MOXCL/>"),
                             send_step("<ITEM A=\"2\"/></MOXCL>"), send_step("not read")});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    link.show_whole_response = true;
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::ok);
    EXPECT_EQ(run.state.run_status, 0);
    EXPECT_FALSE(link.show_whole_response);
    EXPECT_EQ(log_text(), head + "<ITEM A=\"1\"/><END_MOXCL/><ITEM A=\"2\"/></MOXCL>");
}

TEST_F(StreamExchange, WholeResponseInOneReadIsTracedAsReceived)
{
    std::string answer = response_text("0x0000", "No error");
    SimPeer processor(link, {send_step(answer)});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    link.show_whole_response = true;
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::ok);
    EXPECT_FALSE(link.show_whole_response);
    EXPECT_EQ(log_text(), "quorvex: Receiving (" + std::to_string(answer.size()) + "):\r\n" + answer + "\r\n");
}

TEST_F(StreamExchange, ClosedConnectionIsAReadFailure)
{
    SimPeer processor(link, {close_step()});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::read_failure);
    EXPECT_EQ(run.state.run_status, 3);
    EXPECT_EQ(log_text(), "quorvex: ERROR: SSL_read:Connection Terminated:reason(0).\r\n");
}

TEST_F(StreamExchange, DrainThatLosesTheConnectionFailsTheRun)
{
    SimPeer processor(link, 
        {send_step("<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0\" MESSAGE='ok'/>"),
         close_step()});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    run.settings.verbose = true;
    // The result says what the run status says.
    EXPECT_EQ(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE), LinkResult::read_failure);
    EXPECT_EQ(run.state.run_status, 3);
}

TEST_F(StreamExchange, ReadsStopOneByteShortOfTheBufferEnd)
{
    // The actions read at most 2047 bytes into their 2048-byte buffer, the
    // driver 4096 into the 4097-byte transfer buffer: both stay terminated.
    std::string big = response_text("0x0000", std::string(7000, 'm').c_str());
    SimPeer processor(link, {send_step(big), send_step(big)});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    auto action_buffer = std::make_unique<char[]>(2048);
    EXPECT_EQ(response_check(link, action_buffer.get(), 2047), LinkResult::ok);
    EXPECT_EQ(std::strlen(action_buffer.get()), 2047u);
    static_cast<void>(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE));
    EXPECT_EQ(std::strlen(link.transfer_buffer), 4096u);
}

// The tokens between two answers wait under the connection and leave
// before the answer is read.
TEST_F(StreamExchange, TokensWaitForTheNextRead)
{
    SimPeer processor(link, {read_until("/B\n"), send_step(response_text("0x0000", "No error"))});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    for (const char* token : {"<", "A", "/B"})
        ASSERT_EQ(token_send(link, token), LinkResult::ok);
    BIO* queue = SSL_get_wbio(link.connection.tls);
    EXPECT_GT(BIO_ctrl_wpending(queue), 0u);
    char buffer[2048];
    EXPECT_EQ(response_check(link, buffer, 2047), LinkResult::ok);
    EXPECT_EQ(BIO_ctrl_wpending(queue), 0u);
    EXPECT_EQ(run.state.run_status, 0);
    processor.finish();
    EXPECT_EQ(processor.received, "< A /B\n");
}

// Queued tokens that cannot leave fail the read that was to send them as a
// failed write, reported once.
TEST_F(StreamExchange, QueuedTokensThatCannotLeaveAreAFailedWrite)
{
    SimPeer processor(link, {read_until("never")});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    ASSERT_EQ(token_send(link, "<"), LinkResult::ok);
    ASSERT_EQ(shutdown(link.connection.socket, SHUT_WR), 0);
    char buffer[2048];
    EXPECT_EQ(response_check(link, buffer, 2047), LinkResult::write_failure);
    EXPECT_EQ(run.state.run_status, 6);
    EXPECT_EQ(log_text(), "quorvex: ERROR: SSL_write:Connection Terminated:reason(32).\r\n");
    processor.finish();
}

TEST_F(StreamExchange, FailedWriteSetsSix)
{
    EXPECT_EQ(plain_send(link, "<?xml version=\"1.0\"?>\r\n"), LinkResult::write_failure);
    EXPECT_EQ(run.state.run_status, 6);
    EXPECT_NE(log_text().find("quorvex: ERROR: SSL_write:Connection Terminated:reason("), std::string::npos);
}

}  // namespace

namespace {

struct PiecesCase {
    const char* name;
    std::vector<std::string> pieces;  // one write each
    int size;
    bool shown;
    std::string log;  // what the first check leaves in the log
};

std::string cut_end_tag_text()
{
    // Longer than the actions' 2047 bytes, its end tag cut in two writes.
    return response_text("0x0000", std::string(2100, 'm').c_str());
}

// Each response is read to its end at its own check point, so the check
// after it reads the next answer, an error, and sees it.
TEST_F(StreamExchange, EveryResponseIsReadToItsEndAtItsOwnCheckPoint)
{
    std::string whole = response_text("0x0000", "No error");
    std::string longer = response_text("0x0000", std::string(3000, 'm').c_str());
    std::string cut = cut_end_tag_text();
    size_t at = cut.size() - 6;  // "</MO" | "XCL>\r\n"
    std::string head = "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/>";
    std::string empty_root = "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"/><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/>";
    std::string malformed = response_text("0x0000", "");
    malformed.insert(malformed.find("</MOXCL>"), std::string(3000, ' '));
    const PiecesCase cases[] = {
        {"longer than the buffer", {longer}, 2047, false, ""},
        {"in two writes", {whole.substr(0, 50), whole.substr(50)}, 2047, false, ""},
        {"in two writes, shown", {whole.substr(0, 50), whole.substr(50)}, 2047, true,
         "quorvex: Receiving (" + std::to_string(whole.size()) + "):\r\n" + whole + "\r\n"},
        {"end tag cut past the buffer", {cut.substr(0, at), cut.substr(at)}, 2047, false, ""},
        {"end tag cut in a shown drain", {head, "<ITEM/></MO", "XCL>\r\n"}, 2047, true,
         head + "<ITEM/></MO" + "XCL>\r\n"},
        {"empty root element is whole", {empty_root}, 2047, true, empty_root},
        {"malformed and longer than the buffer", {malformed}, 2047, false,
         "quorvex: ERROR: Malformed MOX response: (2047):\r\n" + malformed.substr(0, 2047) + "\r\n"},
    };
    for (const PiecesCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ByteStep> steps;
        for (const std::string& piece : c.pieces)
            steps.push_back(send_step(piece));
        steps.push_back(send_step(response_text("0x0007", "Busy")));
        SimPeer processor(link, steps);
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        run.state.run_status = 0;
        link.show_whole_response = c.shown;
        auto buffer = std::make_unique<char[]>(c.size + 1);
        std::string before = log_text();
        static_cast<void>(response_check(link, buffer.get(), c.size));
        EXPECT_EQ(run.state.run_status, 0);
        EXPECT_EQ(log_text().substr(before.size()), c.log);
        EXPECT_EQ(response_check(link, buffer.get(), c.size), LinkResult::error_status);
        EXPECT_EQ(run.state.run_status, 7);
        connection_teardown(link);
        processor.finish();
    }
}

struct ErrorCase {
    const char* name;
    std::vector<std::string> pieces;
    int result;
    int run_status;
    const char* shown_as;  // the log line's head
};

// A non-zero status fails the run wherever it can be read; a response with
// no readable error status stays malformed and leaves the run status.
TEST_F(StreamExchange, AnyReadableErrorStatusFailsTheRun)
{
    std::string split = response_text("0x00A1", "Not allowed");
    const ErrorCase cases[] = {
        {"empty message", {response_text("0x00A1", "")}, 5, 161, "Response received from the MOX"},
        {"upper case prefix", {response_text("0X00A1", "x")}, 5, 161, "Response received from the MOX"},
        {"no message", {"<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"/><RESPONSE STATUS=\"0x0005\"/>"}, 5, 5,
         "Response received from the MOX"},
        {"status in the second write", {split.substr(0, 60), split.substr(60)}, 5, 161,
         "Response received from the MOX"},
        {"zero status with upper case prefix", {response_text("0X0000", "ok")}, 4, 0,
         "ERROR: Malformed MOX response"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ByteStep> steps;
        std::string text;
        for (const std::string& piece : c.pieces) {
            steps.push_back(send_step(piece));
            text += piece;
        }
        SimPeer processor(link, steps);
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        run.state.run_status = 0;
        std::string before = log_text();
        EXPECT_EQ(static_cast<int>(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE)), c.result);
        EXPECT_EQ(run.state.run_status, c.run_status);
        EXPECT_EQ(log_text().substr(before.size()), "quorvex: " + std::string(c.shown_as) + ": (" +
                                                        std::to_string(text.size()) + "):\r\n" + text + "\r\n");
        connection_teardown(link);
        processor.finish();
    }
}

}  // namespace
