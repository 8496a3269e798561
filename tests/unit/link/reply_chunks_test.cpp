// Taking one read of an HTTP reply apart: its head and the data of its chunks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/reply_chunks.h"

namespace {

// The data pieces of a sequence of reads, as stored.
std::vector<std::string> stored_pieces(const std::vector<std::string>& reads, size_t& owed)
{
    std::vector<std::string> pieces;
    bool started = false;
    for (const std::string& read : reads) {
        ReplyRead parsed = parse_reply_read(read.data(), read.size(), owed, started);
        started = started || !read.empty();
        for (const ChunkPiece& piece : parsed.pieces) {
            EXPECT_LE(piece.offset + piece.length, read.size());
            EXPECT_LE(piece.offset + piece.shown_length, read.size());
            pieces.push_back(read.substr(piece.offset, piece.length));
        }
    }
    return pieces;
}

struct ChunkCase {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> stored;
    size_t owed_after;
};

class ChunkParse : public testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkParse, StoresTheDataOfEachRead)
{
    size_t owed = 0;
    EXPECT_EQ(stored_pieces(GetParam().reads, owed), GetParam().stored);
    EXPECT_EQ(owed, GetParam().owed_after);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, ChunkParse,
    testing::Values(
        ChunkCase{"normal", {"1b\r\n<RESPONSE STATUS=\"0x0000\"/>\r\n"}, {"<RESPONSE STATUS=\"0x0000\"/>"}, 0},
        ChunkCase{"head_then_chunks_then_last",
                  {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "5\r\nabcde\r\n", "0\r\n\r\n"},
                  {"abcde"},
                  0},
        ChunkCase{"head_with_first_chunk", {"HTTP/1.1 200 OK\r\nA: b\r\n\r\n3\r\nabc\r\n"}, {"abc"}, 0},
        // A head behind other bytes of the first read (here a blank line of
        // its own) is still skipped, and the chunk after it is kept.
        ChunkCase{"head_not_at_the_start", {"\r\n\r\nHTTP/1.1 200 OK\r\nA: b\r\n\r\n3\r\nabc\r\n", "2\r\nde\r\n"},
                  {"abc", "de"},
                  0},
        ChunkCase{"size_line_only", {"5\r\n"}, {""}, 5},
        ChunkCase{"garbage", {"<MOXCL>no size</MOXCL>"}, {}, 0},
        ChunkCase{"leading_blanks_and_upper_case", {"  1A\r\n" + std::string(26, 'x') + "\r\n"}, {std::string(26, 'x')}, 0},
        // A size may carry a 0x in front, in either case.
        ChunkCase{"size_with_0x", {"0x1A\r\n" + std::string(26, 'x') + "\r\n 0X3\r\nabc\r\n"},
                  {std::string(26, 'x'), "abc"},
                  0},
        // Without the line ends around the data it starts right after the
        // number; the stored bytes stay inside the read.
        ChunkCase{"no_framing", {"5;x=1\r\nabcde\r\n"}, {";x=1\r"}, 0},
        ChunkCase{"size_past_read_without_framing", {"ff;ext"}, {";ext"}, 0},
        // A chunk that continues in the next read is joined, whether the
        // next read ends it exactly or goes on with the last chunk.
        ChunkCase{"spans_two_reads", {"a\r\n01234", "56789\r\n"}, {"01234", "56789"}, 0},
        ChunkCase{"larger_than_a_read", {"1400\r\n" + std::string(4090, 'a'), std::string(1030, 'b') + "\r\n0\r\n\r\n"},
                  {std::string(4090, 'a'), std::string(1030, 'b')},
                  0},
        ChunkCase{"continuation_then_next_chunk", {"6\r\nabc", "def\r\n3\r\nghi\r\n"}, {"abc", "def", "ghi"}, 0},
        ChunkCase{"two_chunks_in_one_read", {"3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"}, {"abc", "de"}, 0},
        ChunkCase{"huge_size", {"ffffffffffffffffffffff\r\nab"}, {"ab"}, SIZE_MAX - 2},
        // Only the first read can be the reply head: a later chunk quoting
        // one is data like any other.
        ChunkCase{"chunk_quoting_a_reply_head",
                  {"HTTP/1.1 200 OK\r\n\r\n", "f\r\nHTTP/1.1 200 OK\r\n", "13\r\nHTTP/1.1 200 OK\r\n\r\n\r\n"},
                  {"HTTP/1.1 200 OK", "HTTP/1.1 200 OK\r\n\r\n"},
                  0},
        ChunkCase{"chunk_quoting_a_refusal",
                  {"HTTP/1.1 200 OK\r\n\r\n3\r\nabc\r\n", "HTTP/1.1 500 Internal Server Error\r\n\r\n"},
                  {"abc"},
                  0}),
    [](const testing::TestParamInfo<ChunkCase>& info) { return std::string(info.param.name); });

TEST(ChunkParse, ReplyHeadIsSkippedAndShownTextStopsAtZeroByte)
{
    size_t owed = 0;
    std::string head = "HTTP/1.1 200 OK\r\n\r\n5\r\nabcde\r\n";
    EXPECT_TRUE(parse_reply_read(head.data(), head.size(), owed).reply_head);

    std::string with_zero("5\r\nab\0de\r\n", 10);
    ReplyRead read = parse_reply_read(with_zero.data(), with_zero.size(), owed);
    ASSERT_EQ(read.pieces.size(), 1u);
    EXPECT_EQ(read.pieces[0].length, 5u);
    EXPECT_EQ(read.pieces[0].shown_length, 2u);
}

TEST(ChunkParse, ReplyHeadOtherThanOkIsARefusal)
{
    for (const std::string head : {"HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n\r\n",
                                   "HTTP/1.0 404 Not Found"}) {
        size_t owed = 0;
        ReplyRead read = parse_reply_read(head.data(), head.size(), owed);
        EXPECT_EQ(head.substr(0, read.refused_status_length), head.substr(0, head.find("\r\n"))) << head;
        EXPECT_TRUE(read.pieces.empty());
    }
    size_t owed = 0;
    const std::string chunk = "HTTP is mentioned in a chunk";
    EXPECT_EQ(parse_reply_read(chunk.data(), chunk.size(), owed).refused_status_length, 0u);
    const std::string older_ok = "HTTP/1.0 200 OK\r\n\r\n3\r\nabc\r\n";
    ReplyRead read = parse_reply_read(older_ok.data(), older_ok.size(), owed);
    EXPECT_TRUE(read.reply_head);
    EXPECT_EQ(read.refused_status_length, 0u);
    ASSERT_EQ(read.pieces.size(), 1u);
    EXPECT_EQ(read.pieces[0].length, 3u);
}

}  // namespace
