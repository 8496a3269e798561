// Scenario files: the language itself, and a few overrides seen on the wire.
#include <gtest/gtest.h>

#include "sim/scenario.h"
#include "sim/tests/sim_client.h"

namespace {

TEST(ScenarioLanguage, SelectsAnswersByConnectionNumberAndCommand)
{
    Scenario scenario;
    std::string error;
    ASSERT_EQ(parse_scenario("# comment\n"
                             "\n"
                             "every message 'answer {n}'\n"
                             "response 3 status 0x0005 message \"It's\\tbad\" # trailing comment\n"
                             "conn 2 response 1 raw '<x>\\r\\n\\x01' split 3,4\n"
                             "command get_fw status 0x00A1 delay 5 close-after\n"
                             "command COPY_VIRTUAL_FLOPPY length \"'12'  \"\n"
                             "cookie none\n"
                             "flash never\n",
                             "s", scenario, error),
              0)
        << error;
    EXPECT_FALSE(scenario.send_cookie);
    EXPECT_FALSE(scenario.flash_completes);

    AnswerChanges third = changes_for_answer(scenario, 1, 3, "SET_X");
    EXPECT_EQ(third.status, "0x0005");
    EXPECT_EQ(third.message, "It's\tbad"); // the later line wins
    EXPECT_FALSE(third.has_raw);

    AnswerChanges raw = changes_for_answer(scenario, 2, 1, "X");
    EXPECT_EQ(raw.raw, std::string("<x>\r\n\x01"));
    EXPECT_EQ(raw.split, (std::vector<size_t>{3, 4}));
    EXPECT_FALSE(changes_for_answer(scenario, 1, 1, "X").has_raw);

    AnswerChanges named = changes_for_answer(scenario, 5, 9, "GET_FW");
    EXPECT_EQ(named.status, "0x00A1");
    EXPECT_EQ(named.delay_ms, 5);
    EXPECT_EQ(named.close_after, CloseMode::notify);
    EXPECT_EQ(named.message, "answer {n}");
    EXPECT_EQ(changes_for_answer(scenario, 1, 1, "COPY_VIRTUAL_FLOPPY").length_field, "'12'  ");
}

TEST(ScenarioLanguage, ReplyHeadComesFromLinesForEveryAnswer)
{
    Scenario scenario;
    std::string error;
    ASSERT_EQ(parse_scenario("conn 2 every head 'HTTP/1.1 503 Busy\\r\\n\\r\\n'\n"
                             "response 1 head 'not a head'\n"
                             "command X head 'nor this'\n"
                             "conn 1 every head-split 5,3\n",
                             "s", scenario, error),
              0)
        << error;
    EXPECT_EQ(changes_for_reply_head(scenario, 2).head, "HTTP/1.1 503 Busy\r\n\r\n");
    EXPECT_FALSE(changes_for_reply_head(scenario, 1).has_head);
    EXPECT_EQ(changes_for_reply_head(scenario, 1).head_split, (std::vector<size_t>{5, 3}));
    EXPECT_TRUE(changes_for_reply_head(scenario, 2).head_split.empty());
}

TEST(ScenarioLanguage, ReportsTheBrokenLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"response x status 0x1", "s:1: 'response' takes an answer number"},
        {"# ok\nresponse 1", "s:2: no action given"},
        {"every status", "s:1: 'status' needs a value"},
        {"every message 'open", "s:1: unclosed quote"},
        {"every split 0", "s:1: 'split' takes sizes like 10,20,30"},
        {"every shout", "s:1: unknown action 'shout'"},
        {"answer 1 close", "s:1: unknown line start 'answer'"},
        {"flash sometimes", "s:1: 'flash' takes 'never' or 'ok'"},
    };
    for (const auto& [text, message] : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_EQ(parse_scenario(text, "s", scenario, error), 1) << text;
        EXPECT_EQ(error, message) << text;
    }
}

struct WireCase {
    const char* name;
    const char* scenario;
    const char* expect;  // what the client sees after the XML declaration
};

// The client's side of one answer, reduced to a word the table can hold.
std::string observe(TlsClient& client)
{
    std::string first;
    int got = client_read(client, first, 2047);
    if (got == 0)
        return "closed cleanly";
    if (got < 0)
        return "closed without close_notify";
    int major = 0, minor = 0;
    unsigned status = 0;
    std::string message;
    if (!scan_response(first, major, minor, status, message))
        return "malformed: " + first;
    if (first.find("</MOXCL>") == std::string::npos) {
        // Read on until the end tag, as the utility does when it shows a response.
        std::string piece;
        int reads = 1;
        size_t total = first.size();
        while (piece.find("</MOXCL>") == std::string::npos && client_read(client, piece, 2047) > 0) {
            ++reads;
            total += piece.size();
        }
        return "reads " + std::to_string(reads) + " total " + std::to_string(total) + " status " +
               std::to_string(status);
    }
    return std::to_string(major) + "." + std::to_string(minor) + " " + std::to_string(status) +
           " " + message;
}

class ScenarioOnTheWire : public testing::TestWithParam<WireCase> {};

TEST_P(ScenarioOnTheWire, ChangesTheAnswer)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--generation", "stream", "--connections", "1"}, GetParam().scenario));
    TlsClient client;
    ASSERT_TRUE(client_connect(client, sim.port));
    ASSERT_TRUE(client_send(client, "<?xml version=\"1.0\"?>\r\n"));
    EXPECT_EQ(observe(client), GetParam().expect);
    client_close(client);
    EXPECT_EQ(wait_sim(sim, 10), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScenarioOnTheWire,
    testing::Values(WireCase{"Unchanged", "", "2.22 0 No error"},
                    WireCase{"StatusMessageVersion", "response 1 status 0x00A1 message 'Access denied' version 1.50",
                             "1.50 161 Access denied"},
                    WireCase{"Raw", "command ?xml raw 'garbage\\r\\n'", "malformed: garbage\r\n"},
                    WireCase{"Long", "response 1 long 5000", "reads 3 total 5000 status 0"},
                    WireCase{"SplitWithExtra", "response 1 split 110 extra ' TRAILER=\"1\"'",
                             "reads 2 total 134 status 0"},
                    WireCase{"CloseNotify", "response 1 close", "closed cleanly"},
                    WireCase{"Drop", "response 1 drop", "closed without close_notify"}),
    [](const testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST(ScenarioOnTheWire, HttpChunkSizes)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--connections", "1"},
                          "command GET_BIG long 6000\ncommand set_small chunks 50\n"));
    TlsClient client;
    ASSERT_TRUE(client_connect(client, sim.port));
    std::string body = "<MOXCL VERSION=\"2.0\"><LOGIN A=\"a\" B=\"b\"><B MODE=\"read\"><GET_BIG/>"
                       "<SET_SMALL/></B></LOGIN></MOXCL>";
    ASSERT_TRUE(client_send(client, "POST /moxcl HTTP/1.1\r\nHOST: t\r\nTE: chunked\r\n"
                                    "Content-length: " + std::to_string(body.size()) + "\r\n\r\n" +
                                    body));
    std::string head, read;
    ASSERT_GT(client_read(client, head, 4096), 0);
    // A chunk larger than one read of the utility.
    ASSERT_EQ(client_read(client, read, 4096), 4096);
    EXPECT_EQ(read.rfind("1770\r\n", 0), 0u);
    ASSERT_EQ(client_read(client, read, 4096), 6000 + 8 - 4096);
    // An answer cut into chunks of 50 bytes, one write each.
    ASSERT_GT(client_read(client, read, 4096), 0);
    EXPECT_EQ(read.size(), 4u + 50 + 2);
    EXPECT_EQ(read.rfind("32\r\n<?xml", 0), 0u) << read;
    std::string rest = client_read_to_end(client);
    EXPECT_EQ(rest.substr(rest.size() - 5), "0\r\n\r\n");
    client_close(client);
    EXPECT_EQ(wait_sim(sim, 10), 0);
}

} // namespace
