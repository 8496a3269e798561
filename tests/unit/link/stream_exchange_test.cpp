#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "fake_processor.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

class StreamExchange : public LinkTest {};

TEST_F(StreamExchange, TokensGoOutReSpacedAndLongTokensWhole)
{
    std::string block(6000, 'A');
    FakeProcessor processor({read_until("END\n")});
    SIO_connect();
    for (const char* token : {"<", "MOXCL", "VERSION", "=", "\"2.0\"", ">", "</", "/>"})
        ASSERT_EQ(token_send(token), 0);
    ASSERT_EQ(token_send(block.c_str()), 0);
    ASSERT_EQ(token_send("/END"), 0);
    processor.finish();
    EXPECT_EQ(processor.received, "< MOXCL VERSION = \"2.0\" >\n</ />\n" + block + " /END\n");
}

TEST_F(StreamExchange, MaskedTokenGoesOutWholeButIsTracedMasked)
{
    settings.verbose = true;
    FakeProcessor processor({read_until("secret\" ")});
    SIO_connect();
    ASSERT_EQ(token_send("PASSWORD"), 0);
    ASSERT_EQ(masked_token_send("\"secret\""), 0);
    processor.finish();
    EXPECT_EQ(processor.received, "PASSWORD \"secret\" ");
    EXPECT_EQ(log_text(), "quorvex: Sending (9):\r\nPASSWORD \r\n"
                          "quorvex: Sending (9):\r\n\"********\"\r\n");
}

TEST_F(StreamExchange, CheckingPassNeitherSendsNorReads)
{
    run_state.checking_pass = true;
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(token_send("<"), 0);
    EXPECT_EQ(response_check(buffer, 63), 0);
    EXPECT_EQ(buffer[0], '\0');
    run_state.checking_pass = false;
    run_state.processor_generation = 1;
    EXPECT_EQ(response_check(buffer, 63), 0);
    EXPECT_EQ(log_text(), "");
}

TEST_F(StreamExchange, SuccessIsSilentAndRecordsTheVersion)
{
    FakeProcessor processor({send_step(response_text("0x0000", "No error", "1.50"))});
    SIO_connect();
    run_state.run_status = 0;
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 0);
    EXPECT_EQ(run_state.run_status, 0);
    EXPECT_EQ(response_version.major, 1u);
    EXPECT_EQ(response_version.minor, 50u);
    EXPECT_EQ(log_text(), "");
}

TEST_F(StreamExchange, ErrorStatusBecomesRunStatusAndStopsTraffic)
{
    std::string answer = response_text("0x00A1", "Not allowed");
    FakeProcessor processor({send_step(answer)});
    SIO_connect();
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 5);
    EXPECT_EQ(run_state.run_status, 161);
    EXPECT_EQ(token_send("<"), 161);
    EXPECT_EQ(plain_send("more"), 161);
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 161);
    processor.finish();
    EXPECT_EQ(processor.received, "");
    EXPECT_EQ(log_text(), "quorvex: Response received from the MOX: (" + std::to_string(answer.size()) +
                              "):\r\n" + answer + "\r\n");
}

TEST_F(StreamExchange, MalformedResponseLeavesRunStatus)
{
    const char answer[] =
        "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE=''/></MOXCL>";
    FakeProcessor processor({send_step(answer)});
    SIO_connect();
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 4);
    EXPECT_EQ(run_state.run_status, 0);
    EXPECT_EQ(response_version.minor, 22u);
    EXPECT_EQ(log_text(), "quorvex: ERROR: Malformed MOX response: (" + std::to_string(std::strlen(answer)) +
                              "):\r\n" + answer + "\r\n");
}

TEST_F(StreamExchange, WholeResponseIsDrainedToTheClosingRootTag)
{
    std::string head = "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/>";
    // "<END_MOXCL/>" in a later read does not end the drain.
    FakeProcessor processor({send_step(head), send_step("<ITEM A=\"1\"/><END_MOXCL/>"),
                             send_step("<ITEM A=\"2\"/></MOXCL>"), send_step("not read")});
    SIO_connect();
    show_whole_response = true;
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 0);
    EXPECT_EQ(run_state.run_status, 0);
    EXPECT_FALSE(show_whole_response);
    EXPECT_EQ(log_text(), head + "<ITEM A=\"1\"/><END_MOXCL/><ITEM A=\"2\"/></MOXCL>");
}

TEST_F(StreamExchange, WholeResponseInOneReadIsTracedAsReceived)
{
    std::string answer = response_text("0x0000", "No error");
    FakeProcessor processor({send_step(answer)});
    SIO_connect();
    show_whole_response = true;
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 0);
    EXPECT_FALSE(show_whole_response);
    EXPECT_EQ(log_text(), "quorvex: Receiving (" + std::to_string(answer.size()) + "):\r\n" + answer + "\r\n");
}

TEST_F(StreamExchange, ClosedConnectionIsAReadFailure)
{
    FakeProcessor processor({close_step()});
    SIO_connect();
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 3);
    EXPECT_EQ(run_state.run_status, 3);
    EXPECT_EQ(log_text(), "quorvex: ERROR: SSL_read:Connection Terminated:reason(0).\r\n");
}

TEST_F(StreamExchange, DrainThatLosesTheConnectionFailsTheRun)
{
    FakeProcessor processor(
        {send_step("<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0\" MESSAGE='ok'/>"),
         close_step()});
    SIO_connect();
    settings.verbose = true;
    EXPECT_EQ(response_check(transfer_buffer, TRANSFER_BUFFER_SIZE), 0);
    EXPECT_EQ(run_state.run_status, 3);
}

TEST_F(StreamExchange, ReadsStopOneByteShortOfTheBufferEnd)
{
    // The actions read at most 2047 bytes into their 2048-byte buffer, the
    // driver 4096 into the 4097-byte transfer buffer: both stay terminated.
    std::string big = response_text("0x0000", std::string(7000, 'm').c_str());
    FakeProcessor processor({send_step(big), send_step(big)});
    SIO_connect();
    auto action_buffer = std::make_unique<char[]>(2048);
    EXPECT_EQ(response_check(action_buffer.get(), 2047), 0);
    EXPECT_EQ(std::strlen(action_buffer.get()), 2047u);
    response_check(transfer_buffer, TRANSFER_BUFFER_SIZE);
    EXPECT_EQ(std::strlen(transfer_buffer), 4096u);
}

TEST_F(StreamExchange, FailedWriteSetsSix)
{
    EXPECT_EQ(plain_send("<?xml version=\"1.0\"?>\r\n"), 6);
    EXPECT_EQ(run_state.run_status, 6);
    EXPECT_NE(log_text().find("quorvex: ERROR: SSL_write:Connection Terminated:reason("), std::string::npos);
}

}  // namespace
