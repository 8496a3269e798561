// Taking HTTP-mode replies apart: chunks, the response store, status codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "records/run_settings.h"
#include "link/http_exchange.h"
#include "link/stream_exchange.h"

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
        ChunkCase{"size_line_only", {"5\r\n"}, {""}, 5},
        ChunkCase{"garbage", {"<MOXCL>no size</MOXCL>"}, {}, 0},
        ChunkCase{"leading_blanks_and_upper_case", {"  1A\r\n" + std::string(26, 'x') + "\r\n"}, {std::string(26, 'x')}, 0},
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

TEST(ResponseStore, RollsOverWhenAChunkWouldPassItsEnd)
{
    response_store_reset();
    std::string block(4096, 'x');
    for (int i = 0; i < RESPONSE_STORE_SIZE / 4096; ++i)
        response_store_append(block.data(), block.size());
    EXPECT_EQ(response_store.used, static_cast<size_t>(RESPONSE_STORE_SIZE));  // exactly full is allowed

    std::snprintf(settings.program_name, sizeof settings.program_name, "quorvex");
    testing::internal::CaptureStdout();
    response_store_append("STATUS", 6);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "quorvex: Response has exceeded the length of the response buffer causing a rollover\r\n");
    EXPECT_EQ(response_store.used, 6u);
    EXPECT_TRUE(response_store_contains("STATUS"));
    EXPECT_FALSE(response_store_contains("x"));
}

TEST(ResponseStore, StatusScanSeesWhatARolloverDrops)
{
    std::snprintf(settings.program_name, sizeof settings.program_name, "quorvex");
    const std::string early = "<RESPONSE STATUS=\"0x0005\" MESSAGE='early'/>";
    const std::string split = "<RESPONSE STATUS=\"0x00";
    const std::string rest = "07\" MESSAGE='split'/>";
    std::string block(4096, 'x');
    struct Fill {
        const char* name;
        std::string first;  // the reply starts with it
        std::string last;   // the end of the store, before the chunk that rolls it over
        int status;
    };
    for (const Fill& fill : {Fill{"early failure", early, "", 5}, Fill{"status split by the rollover", "", split, 7}}) {
        testing::internal::CaptureStdout();
        reply_collect_start();
        response_store_append(fill.first.data(), fill.first.size());
        size_t room = RESPONSE_STORE_SIZE - fill.first.size() - fill.last.size();
        for (; room >= block.size(); room -= block.size())
            response_store_append(block.data(), block.size());
        response_store_append(block.data(), room);
        response_store_append(fill.last.data(), fill.last.size());
        EXPECT_EQ(response_store.used, static_cast<size_t>(RESPONSE_STORE_SIZE)) << fill.name;
        response_store_append(rest.data(), rest.size());
        EXPECT_NE(testing::internal::GetCapturedStdout().find("rollover"), std::string::npos) << fill.name;
        EXPECT_EQ(response_store.used, rest.size()) << fill.name;
        EXPECT_EQ(status_scan(), fill.status) << fill.name;
    }
}

TEST(ResponseStore, SearchFindsTextSplitBetweenAppendsAndForgetsWhatARolloverDrops)
{
    std::snprintf(settings.program_name, sizeof settings.program_name, "quorvex");
    const std::string done = "Firmware flash completed successfully";
    struct SplitCase {
        std::vector<std::string> appends;
        std::vector<bool> found;  // after each append
    };
    const SplitCase cases[] = {
        {{"...Firmware flash comp", "leted successfully..."}, {false, true}},
        {{"F", "irmware flash completed successfull", "y"}, {false, false, true}},
        {{done.substr(0, 36), "x", "y"}, {false, false, false}},
        {{"nothing", "", done}, {false, false, true}},
    };
    for (const SplitCase& c : cases) {
        reply_collect_start();
        StoreSearch search(done);
        for (size_t i = 0; i < c.appends.size(); ++i) {
            response_store_append(c.appends[i].data(), c.appends[i].size());
            EXPECT_EQ(search.found_in_new_text(), c.found[i]) << c.appends[0] << " append " << i;
        }
    }

    // The text is found once: a later search looks only at what came after.
    reply_collect_start();
    StoreSearch search(done);
    response_store_append(done.data(), done.size());
    EXPECT_TRUE(search.found_in_new_text());
    response_store_append("more", 4);
    EXPECT_FALSE(search.found_in_new_text());

    // A rollover starts the search again at the store's new beginning; the
    // bytes it dropped are not searched.
    testing::internal::CaptureStdout();
    reply_collect_start();
    StoreSearch rolled(done);
    std::string block(RESPONSE_STORE_SIZE - 10, 'x');
    block += "Firmware f";
    response_store_append(block.data(), block.size());
    EXPECT_FALSE(rolled.found_in_new_text());
    const std::string rest = "lash completed successfully";
    response_store_append(rest.data(), rest.size());
    EXPECT_FALSE(rolled.found_in_new_text());
    response_store_append(done.data(), done.size());
    EXPECT_TRUE(rolled.found_in_new_text());
    testing::internal::GetCapturedStdout();
}

TEST(HexCodeValue, CountsEveryCharacterAsADigit)
{
    EXPECT_EQ(hex_code_value("0x003C"), 60);
    EXPECT_EQ(hex_code_value("0x00A1"), 161);
    EXPECT_EQ(hex_code_value("0x005f"), 95);
    EXPECT_EQ(hex_code_value("0xZZ10"), 16);
    EXPECT_EQ(hex_code_value(""), 0);
    hex_code_value("ffffffffffffffffffffffff");  // wraps, no overflow fault
}

struct ScanCase {
    const char* name;
    std::string text;
    int status;
};

class StatusScan : public testing::TestWithParam<ScanCase> {};

TEST_P(StatusScan, FindsTheFirstFailingStatus)
{
    const std::string& text = GetParam().text;
    EXPECT_EQ(status_scan_text(text.data(), text.size()), GetParam().status);
}

std::string response(const char* code, bool message = true)
{
    return std::string("<RESPONSE STATUS=\"") + code + "\"" + (message ? " MESSAGE='m'" : "") + "/>\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StatusScan,
    testing::Values(
        ScanCase{"successes_then_error", response("0x0000") + response("0x003C") + response("0x0005"), 5},
        ScanCase{"lower_case_003c_fails", response("0x003c"), 60},
        ScanCase{"first_failure_wins", response("0x005F") + response("0x0007"), 95},
        ScanCase{"all_succeed", response("0x0000") + response("0x003C"), 0},
        ScanCase{"status_without_message", response("0x0005", false), 0},
        // Only a MESSAGE of the status's own tag counts, wherever it
        // stands in the tag.
        ScanCase{"message_of_a_later_element", response("0x0005", false) + "<X MESSAGE='late'/>", 0},
        ScanCase{"informational_then_error", response("0x0001", false) + response("0x0005"), 5},
        ScanCase{"message_before_status", "<RESPONSE MESSAGE='m' STATUS=\"0x0005\"/>", 5},
        ScanCase{"closing_bracket_in_a_quoted_value",
                 "<RESPONSE STATUS=\"0x0001\" NOTE='a > b' MESSAGE='m'/>" + response("0x0005"), 1},
        ScanCase{"quote_in_a_message", "<R STATUS=\"0x0001\" MESSAGE=\"it's\"/>" + response("0x0005"), 1},
        ScanCase{"unclosed_tag_ends_at_the_next", "<RESPONSE STATUS=\"0x0001\" <X MESSAGE='m'/>" + response("0x0005"), 5},
        ScanCase{"tag_left_open_by_the_reply", "<RESPONSE STATUS=\"0x0005\" MESSAGE='m'", 5},
        ScanCase{"status_in_element_text", "<A>STATUS=\"0x0005\" MESSAGE=</A>" + response("0x0000"), 0},
        ScanCase{"first_failing_tag_wins", response("0x0001", false) + response("0x0009") + response("0x0005"), 9},
        ScanCase{"status_within_a_repeated_name", "<R STATUSTATUS=\"0x0005\" MESSAGE='m'/>", 5},
        ScanCase{"code_cut_off_by_the_end", "<RESPONSE STATUS=\"0x00", 0},
        // A code of more than four digits is read whole: leading zeros
        // leave its last four to judge, a larger value fails, and one that
        // does not fit in 32 bits fails as STATUS_OUT_OF_RANGE.
        ScanCase{"long_code_with_leading_zeros", response("0x0000003C") + response("0x0000000") + response("0x00001"), 1},
        ScanCase{"long_code_lower_case_003c", response("0x0000003c"), 60},
        ScanCase{"long_code_fits", response("0x12345678"), 0x12345678},
        ScanCase{"long_code_too_large", response("0x100000000"), static_cast<int>(STATUS_OUT_OF_RANGE)},
        ScanCase{"too_large_behind_zeros", response("0x00001000000000") + response("0x0005"),
                 static_cast<int>(STATUS_OUT_OF_RANGE)},
        ScanCase{"far_too_large", response("0xFFFFFFFFFFFFFFFFFFFFFFFF"), static_cast<int>(STATUS_OUT_OF_RANGE)},
        ScanCase{"long_code_ending_the_reply", "<RESPONSE MESSAGE='m' STATUS=\"0x0000000007", 7},
        ScanCase{"far_from_the_start", std::string(4073, ' ') + response("0x0005"), 5},
        ScanCase{"after_a_long_successful_answer",
                 response("0x0000") + std::string(40000, ' ') + response("0x0005"), 5}),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

}  // namespace
