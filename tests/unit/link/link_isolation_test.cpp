// Two links share nothing: replies read through them by turns give what
// each gives when read alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "link/http_reply.h"
#include "link/link.h"
#include "link/stream_exchange.h"
#include "link_fixture.h"

namespace {

// A processor in memory: its reply in reads of at most `piece` bytes.
struct MemoryReply {
    std::string bytes;
    size_t piece;
    size_t at = 0;

    static int read(void* context, void* buffer, int size)
    {
        MemoryReply& reply = *static_cast<MemoryReply*>(context);
        size_t count = std::min({static_cast<size_t>(size), reply.piece, reply.bytes.size() - reply.at});
        std::memcpy(buffer, reply.bytes.data() + reply.at, count);
        reply.at += count;
        return static_cast<int>(count);
    }
    static int write(void*, const void*, int length) { return length; }
};

// The reply head and data in chunks of 23 bytes; then the last chunk, or
// what cut stands for.
std::string chunked(const std::string& data, const std::string& cut = "")
{
    std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t at = 0; at < data.size(); at += 23) {
        std::string piece = data.substr(at, 23);
        char size_line[16];
        std::snprintf(size_line, sizeof size_line, "%zx\r\n", piece.size());
        reply += size_line + piece + "\r\n";
    }
    return reply + (cut.empty() ? "0\r\n\r\n" : cut);
}

// What a link took from its reply.
struct Taken {
    std::string stored;
    int status = 0;
    bool body_seen = false;
    bool cut_inside_chunk = false;

    bool operator==(const Taken&) const = default;
};

Taken taken_by(const Link& link)
{
    return {std::string(link.response_store.text.get(), link.response_store.used), status_scan(link),
            link.http_reply.body_seen, reply_cut_inside_chunk(link)};
}

// One read of the reply on link: true while it had bytes.
bool read_once(Link& link)
{
    int count = 0;
    EXPECT_EQ(http_chunk_read(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE, count), LinkResult::ok);
    return count > 0;
}

Taken read_alone(RunContext& run, const std::string& reply, size_t piece)
{
    Link link(run);
    MemoryReply processor{reply, piece};
    LinkPeer peer{MemoryReply::read, MemoryReply::write, &processor};
    use_link_peer(link, &peer);
    while (read_once(link)) {
    }
    return taken_by(link);
}

using TwoLinks = LinkTest;

TEST_F(TwoLinks, RepliesReadByTurnsGiveWhatEachGivesAlone)
{
    const std::string failing = chunked("<RESPONSE STATUS=\"0x0005\" MESSAGE='first link'/>\r\n<GET_A VALUE=\"1\"/>");
    const std::string passing =
        chunked("<RESPONSE STATUS=\"0x0000\" MESSAGE='second link, a longer answer'/>", "10\r\nmore");
    // The reads cut heads, size lines and data at other places in each.
    for (auto [piece_a, piece_b] : {std::pair<size_t, size_t>{7, 11}, {1, 4096}, {13, 2}}) {
        SCOPED_TRACE(std::to_string(piece_a) + " and " + std::to_string(piece_b));
        testing::internal::CaptureStdout();
        Taken alone_a = read_alone(run, failing, piece_a);
        Taken alone_b = read_alone(run, passing, piece_b);

        Link a(run);
        Link b(run);
        MemoryReply processor_a{failing, piece_a};
        MemoryReply processor_b{passing, piece_b};
        LinkPeer peer_a{MemoryReply::read, MemoryReply::write, &processor_a};
        LinkPeer peer_b{MemoryReply::read, MemoryReply::write, &processor_b};
        use_link_peer(a, &peer_a);
        use_link_peer(b, &peer_b);
        show_next_response_whole(a);
        for (bool more_a = true, more_b = true; more_a || more_b;) {
            if (more_a)
                more_a = read_once(a);
            if (more_b)
                more_b = read_once(b);
        }
        testing::internal::GetCapturedStdout();

        EXPECT_EQ(taken_by(a), alone_a);
        EXPECT_EQ(taken_by(b), alone_b);
        EXPECT_EQ(alone_a.status, 5);
        EXPECT_EQ(alone_b.status, 0);
        EXPECT_TRUE(alone_b.cut_inside_chunk);
        EXPECT_NE(alone_a.stored.find("<GET_A VALUE=\"1\"/>"), std::string::npos);
        EXPECT_EQ(alone_b.stored.find("GET_A"), std::string::npos);
        EXPECT_TRUE(a.show_whole_response);
        EXPECT_FALSE(b.show_whole_response);
        EXPECT_EQ(run.state.run_status, 0);
    }
}

}  // namespace
