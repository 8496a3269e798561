#include <gtest/gtest.h>

#include "link/stream_exchange.h"

namespace {

struct StatusCase {
    const char* name;
    const char* text;
    bool complete;
    bool version_taken;
    unsigned major, minor, status;
};

const StatusCase status_cases[] = {
    {"open_root_one_line",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='No error'/></MOXCL>",
     true, true, 2, 22, 0},
    {"multi_line_indented",
     "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION = \"1.50\" >\r\n  <RESPONSE\r\n\tSTATUS = \"0x0005\"\r\n"
     "\tMESSAGE = '  Bad login'\r\n  />\r\n</MOXCL>",
     true, true, 1, 50, 5},
    {"empty_root_element",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"3.10\"/><RESPONSE STATUS=\"0x00a1\" MESSAGE='x'/>", true, true, 3,
     10, 0xA1},
    {"status_upper_case_hex",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.20\"><RESPONSE STATUS=\"0x00A1\" MESSAGE='x'/>", true, true, 2,
     20, 0xA1},
    {"nothing_after_message_examined",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='cut off", true, true, 2,
     22, 0},
    {"empty_message", "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE=''/>",
     false, true, 2, 22, 0},
    {"blank_message", "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0000\" MESSAGE='  '/>",
     false, true, 2, 22, 0},
    {"double_quoted_message",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"1.30\"><RESPONSE STATUS=\"0x0000\" MESSAGE=\"ok\"/>", false, true,
     1, 30, 0},
    {"single_quoted_version",
     "<?xml version=\"1.0\"?><MOXCL VERSION='2.22'><RESPONSE STATUS=\"0x0000\" MESSAGE='ok'/>", false, false, 0,
     0, 0},
    {"lower_case_element", "<?xml version=\"1.0\"?><moxcl VERSION=\"2.22\"><RESPONSE STATUS=\"0x0\" MESSAGE='ok'/>",
     false, false, 0, 0, 0},
    {"blank_before_declaration",
     " <?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x0\" MESSAGE='ok'/>", false, false, 0,
     0, 0},
    {"status_without_0x", "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"5\" MESSAGE='ok'/>",
     false, true, 2, 22, 0},
    {"empty_text", "", false, false, 0, 0, 0},
    // A status past 32 bits fails: cut to them it read as 0, a success.
    {"status_past_32_bits",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x100000000\" MESSAGE='ok'/>", true, true,
     2, 22, STATUS_OUT_OF_RANGE},
    {"status_past_64_bits",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0x10000000000000000\" MESSAGE='ok'/>",
     true, true, 2, 22, STATUS_OUT_OF_RANGE},
    {"status_of_32_bits",
     "<?xml version=\"1.0\"?><MOXCL VERSION=\"2.22\"><RESPONSE STATUS=\"0xFFFFFFFF\" MESSAGE='ok'/>", true, true,
     2, 22, 0xFFFFFFFFu},
};

class ResponseStatusParse : public ::testing::TestWithParam<StatusCase> {};

TEST_P(ResponseStatusParse, TakesWhatTheTwoLayoutsAllow)
{
    const StatusCase& c = GetParam();
    ResponseStatus parsed = parse_response_status(c.text);
    EXPECT_EQ(parsed.complete, c.complete);
    EXPECT_EQ(parsed.version_taken, c.version_taken);
    if (c.version_taken) {
        EXPECT_EQ(parsed.major, c.major);
        EXPECT_EQ(parsed.minor, c.minor);
    }
    if (c.complete) {
        EXPECT_EQ(parsed.status, c.status);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ResponseStatusParse, ::testing::ValuesIn(status_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ResponseStatusParseVersion, MajorIsKeptWhenMinorIsMissing)
{
    ResponseStatus parsed = parse_response_status("<?xml version=\"1.0\"?><MOXCL VERSION=\"2.x\">");
    EXPECT_TRUE(parsed.major_taken);
    EXPECT_FALSE(parsed.version_taken);
    EXPECT_EQ(parsed.major, 2u);
}

}  // namespace
