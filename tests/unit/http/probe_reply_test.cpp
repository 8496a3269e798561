// The probe's reply: a reply head is read to its end before it is judged,
// however the processor's writes cut it; any other answer is judged as it
// came.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "link/http_exchange.h"
#include "link/tls_io.h"

namespace {

// Gives its reads in turn; past the last one, a failed read.
struct ReadsPeer {
    std::vector<std::string> reads;
    size_t next = 0;

    static int read(void* context, void* buffer, int size)
    {
        auto& self = *static_cast<ReadsPeer*>(context);
        if (self.next == self.reads.size())
            return -1;
        const std::string& bytes = self.reads[self.next++];
        size_t count = std::min(bytes.size(), static_cast<size_t>(size));
        std::memcpy(buffer, bytes.data(), count);
        return static_cast<int>(count);
    }
    static int write(void*, const void*, int length) { return length; }
};

// What the probe's reply buffer holds after the processor's reads.
std::string probe_reply(std::vector<std::string> reads, int& result)
{
    ReadsPeer processor{std::move(reads)};
    LinkPeer peer{ReadsPeer::read, ReadsPeer::write, &processor};
    use_link_peer(&peer);
    char reply[2048] = {};
    result = read_probe_reply(reply, sizeof reply);
    use_link_peer(nullptr);
    return std::string(reply, result > 0 ? static_cast<size_t>(result) : 0);
}

const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n";

TEST(ProbeReply, HeadIsReadToItsEndWhereverAWriteEnds)
{
    for (size_t cut = 1; cut < head.size(); ++cut) {
        int result = 0;
        EXPECT_EQ(probe_reply({head.substr(0, cut), head.substr(cut), "3\r\nabc\r\n"}, result), head) << cut;
    }
    std::vector<std::string> bytes;
    for (char c : head)
        bytes.emplace_back(1, c);
    int result = 0;
    EXPECT_EQ(probe_reply(bytes, result), head);
}

TEST(ProbeReply, OtherAnswersAreJudgedAsTheyCame)
{
    int result = 0;
    // A stream processor's answer: no second read is waited for.
    const std::string xml = "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"/>";
    EXPECT_EQ(probe_reply({xml}, result), xml);
    // A head cut by the processor's close, or by the buffer's end.
    EXPECT_EQ(probe_reply({"HTTP/1.1 200", " OK\r\n", ""}, result), "HTTP/1.1 200 OK\r\n");
    std::string endless = "HTTP/1.1 200 OK\r\nX: " + std::string(3000, 'x');
    EXPECT_EQ(probe_reply({endless.substr(0, 1000), endless.substr(1000)}, result), endless.substr(0, 2048));
    // A failed read, also in the middle of a head, or nothing at all.
    probe_reply({"HTTP/1.1 2"}, result);
    EXPECT_LT(result, 0);
    probe_reply({""}, result);
    EXPECT_EQ(result, 0);
}

}  // namespace
