// How the end of a processor's reply is judged. One that never ends does
// not keep the run reading (and logging) for ever: each reply loop stops
// past REPLY_BYTE_LIMIT with run status 3, and a reply just under the limit
// is still read whole. An HTTP reply that ends before any byte of its body,
// or inside a chunk, fails the run too: nothing says the script, or the
// rest of it, was carried out.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "link/firmware_upload.h"
#include "link/http_reply.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

// A peer that sends head, then filler bytes up to a total of length (or
// with no end when length is negative), then the tail, then closes.
struct EndlessPeer {
    std::string head;
    long long length = -1;
    std::string tail;
    long long sent = 0;
    long long reads = 0;

    static int read(void* context, void* buffer, int size)
    {
        auto& self = *static_cast<EndlessPeer*>(context);
        ++self.reads;
        auto* out = static_cast<char*>(buffer);
        int count = 0;
        while (count < size) {
            long long body_end = self.length < 0 ? -1 : static_cast<long long>(self.head.size()) + self.length;
            if (self.sent < static_cast<long long>(self.head.size())) {
                out[count++] = self.head[static_cast<size_t>(self.sent++)];
            } else if (body_end < 0 || self.sent < body_end) {
                out[count++] = 'x';
                ++self.sent;
            } else if (self.sent < body_end + static_cast<long long>(self.tail.size())) {
                out[count++] = self.tail[static_cast<size_t>(self.sent++ - body_end)];
            } else {
                break;
            }
        }
        return count;
    }
    static int write(void*, const void*, int length) { return length; }
};

// Runs read with the console sent to /dev/null: the processor's bytes are
// shown there, all 64 MiB of them.
template <class Read>
auto quietly(Read read)
{
    std::fflush(stdout);
    int console = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    auto result = read();
    std::fflush(stdout);
    dup2(console, 1);
    close(console);
    return result;
}

class ReplyEnd : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        link_.read = &EndlessPeer::read;
        link_.write = &EndlessPeer::write;
        link_.context = &peer_;
        use_link_peer(link, &link_);
    }
    void TearDown() override
    {
        use_link_peer(link, nullptr);
        LinkTest::TearDown();
    }
    EndlessPeer peer_;
    LinkPeer link_;
};

const std::string LIMIT_MESSAGE = "quorvex: ERROR: The MOX's reply passed " + std::to_string(REPLY_BYTE_LIMIT) +
                                   " bytes without its end.\r\n";

TEST_F(ReplyEnd, StreamResponseWithoutItsEndTag)
{
    const std::string head = "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/>";
    // Drained unseen, and drained into the log for the whole-response flag.
    for (bool shown : {false, true}) {
        SCOPED_TRACE(shown);
        run.state.run_status = 0;
        run.state.processor_generation = ProcessorGeneration::stream;
        link.show_whole_response = shown;
        peer_ = EndlessPeer{head, -1, ""};
        EXPECT_EQ(quietly([this] { return response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE); }), LinkResult::read_failure);
        EXPECT_EQ(run.state.run_status, 3);
        std::string log = log_text();
        EXPECT_EQ(log.substr(log.size() - LIMIT_MESSAGE.size()), LIMIT_MESSAGE);
        EXPECT_LE(peer_.sent, REPLY_BYTE_LIMIT + TRANSFER_BUFFER_SIZE);

        // Just under the limit, the end tag still ends it well.
        run.state.run_status = 0;
        run.state.processor_generation = ProcessorGeneration::stream;
        link.show_whole_response = shown;
        peer_ = EndlessPeer{head, REPLY_BYTE_LIMIT - 1000, "</MOXCL>"};
        EXPECT_EQ(quietly([this] { return response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE); }), LinkResult::ok);
        EXPECT_EQ(run.state.run_status, 0);
    }
}

TEST_F(ReplyEnd, HttpReplyThatNeverCloses)
{
    run.state.processor_generation = ProcessorGeneration::http;
    peer_.head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffff\r\n";
    EXPECT_EQ(quietly([this] { return reply_read_loop(link, false); }), Flow::closing_report);
    EXPECT_EQ(run.state.run_status, 3);
    EXPECT_NE(log_text().find(LIMIT_MESSAGE), std::string::npos);
}

TEST_F(ReplyEnd, UploadReplyWithoutItsCookieLine)
{
    run.state.processor_generation = ProcessorGeneration::http;
    peer_.head = "HTTP/1.1 200 OK\r\n";
    FlashCookie cookie;
    EXPECT_FALSE(quietly([this, &cookie] { return read_upload_reply(link, cookie); }));
    EXPECT_EQ(run.state.run_status, 3);
    EXPECT_NE(log_text().find(LIMIT_MESSAGE), std::string::npos);
}

TEST_F(ReplyEnd, HttpReplyWithNothingAfterItsHead)
{
    run.state.processor_generation = ProcessorGeneration::http;
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    struct Case {
        std::string reply;
        int run_status;
    };
    const Case cases[] = {
        {"", 3},                     // closed without a byte
        {head, 3},                   // the head alone
        {head + "0\r\n\r\n", 0},     // an empty body, ended as it should be
        {head + "40\r\n<RESPONSE STATUS=\"0x0000\"", 3},  // cut inside a chunk
        {head + "1b\r\n<RESPONSE STATUS=\"0x0000\"/>\r\n", 0},  // cut between chunks
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        run.state.run_status = 0;
        peer_ = EndlessPeer{c.reply, 0, ""};
        EXPECT_EQ(quietly([this] { return reply_read_loop(link, false); }), Flow::go_on);
        EXPECT_EQ(run.state.run_status, c.run_status);
    }
    const std::string closed = "quorvex: ERROR: The MOX closed the connection without replying to the script.\r\n";
    EXPECT_EQ(log_text(), closed + closed + "<RESPONSE STATUS=\"0x0000\"" +
                              "quorvex: ERROR: The MOX closed the connection in the middle of its reply.\r\n" +
                              "<RESPONSE STATUS=\"0x0000\"/>");
}

}  // namespace
