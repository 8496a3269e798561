// The first failing status of an HTTP reply, and the codes it reads.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "link/status_scan.h"
#include "link/stream_exchange.h"

namespace {

TEST(HexCodeValue, CountsEveryCharacterAsADigit)
{
    EXPECT_EQ(hex_code_value("0x003C"), 60);
    EXPECT_EQ(hex_code_value("0x00A1"), 161);
    EXPECT_EQ(hex_code_value("0x005f"), 95);
    EXPECT_EQ(hex_code_value("0xZZ10"), 16);
    EXPECT_EQ(hex_code_value(""), 0);
    // Past eight digits the value keeps the last eight: it wraps, and
    // never overflows.
    EXPECT_EQ(hex_code_value("123456789ABC"), 0x56789ABC);
    EXPECT_EQ(hex_code_value("ffffffffffffffffffffffff"), -1);
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

// The incremental match says "found" at exactly the bytes where a plain
// search of the text so far finds the pattern ending. Random texts made of
// the pattern's own letters are full of partial matches that break off and
// start again, which is where the fall-back lengths matter.
TEST(StreamMatch, AgreesWithAPlainSearchOnRandomText)
{
    const char* const patterns[] = {"STATUS=\"0x", "MESSAGE=", "aab", "abab", "aaaa",
                                    "abacabab", "aabaaa", "abaababaab", "x"};
    std::mt19937 random(20261211);
    for (const char* pattern : patterns) {
        const std::string wanted = pattern;
        std::uniform_int_distribution<size_t> letter(0, wanted.size() - 1);
        StreamMatch match(pattern);
        for (int round = 0; round < 200; ++round) {
            match.reset();
            std::string text;
            for (int i = 0; i < 60; ++i) {
                text += wanted[letter(random)];
                bool ends_here = text.size() >= wanted.size() &&
                                 text.compare(text.size() - wanted.size(), wanted.size(), wanted) == 0;
                ASSERT_EQ(match.feed(text.back()), ends_here) << pattern << " in " << text;
            }
        }
    }
}

}  // namespace
