// Two script readers share nothing: scanned by turns, or one parsed whole in
// the middle of the other's scan, each gives exactly what it gives alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "records/run_context.h"
#include "link/link.h"
#include "script/grammar.h"
#include "script/parser.h"
#include "script/script_reader.h"
#include "script_harness.h"

namespace {

// The link calls one reader made, in order.
struct Trail {
    std::vector<std::string> calls;
    // Runs when the reader sends a token, before the send is recorded.
    std::function<void(const char* token)> on_send;
};

// The trail of the reader whose link calls come now.
Trail* trail;

LinkResult record_send(Link&, const char* token)
{
    Trail* mine = trail;
    if (mine->on_send)
        mine->on_send(token);
    mine->calls.emplace_back(token);
    return LinkResult::ok;
}

LinkResult record_check(Link&, char* buffer, int size)
{
    std::memset(buffer, 0, static_cast<size_t>(size));
    trail->calls.emplace_back("check");
    return LinkResult::ok;
}

LinkResult record_image(Link&, const char* location)
{
    trail->calls.push_back("image(" + std::string(location) + ")");
    return LinkResult::ok;
}

LinkResult record_write(Link&)
{
    trail->calls.emplace_back("write");
    return LinkResult::ok;
}

const char* no_credential(Link&)
{
    return "";
}

void no_override(Link&) {}

const ScriptLinkCalls recorder = {record_send,   record_send,   record_check, record_image, record_image, record_image,
                                  record_write,  no_credential, no_credential, no_override, no_override};

// A with a value that spans two reads, a comment longer than a read, a
// firmware command, an invalid boolean (reported, the parse goes on) and a
// syntax error on its last line.
const std::string script_a = "<?xml version=\"1.0\"?>\n<MOXCL VERSION=\"2.0\">\n"
                             "<LOGIN USER_LOGIN=\"admin\" PASSWORD=\"secret\">\n<BLOCK_A MODE=\"write\">\n"
                             "<SET_A NAME_A=\"" + std::string(12000, 'v') + "\"/>\n"
                             "<SET_SECURITY_MSG>\n<SECURITY_MSG VALUE=\"maybe\"/>\n</SET_SECURITY_MSG>\n"
                             "<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"a.bin\" IMAGE_LENGTH=\"1\"/>\n"
                             "<!-- " + std::string(20000, 'c') + " -->\n"
                             "<SET_A NAME_A=\"x\" VALUE=\"y\"/>\n</BLOCK_A>\n</LOGIN>\n</MOXCL>\n";

// B with other lines, a CDATA section, a floppy command and a value check
// that stops its parse.
const std::string script_b = "<MOXCL VERSION=\"3.0\">\n<LOGIN USER_LOGIN=\"b\" PASSWORD=\"c\">\n"
                             "<BLOCK_B MODE=\"read\">\n<IMPORT_CERTIFICATE><![CDATA[ text\nover lines ]]></IMPORT_CERTIFICATE>\n"
                             "<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION=\"b.img\"/>\n<GET_B/>\n"
                             "<HOTKEY_CONFIG>\n<CTRL_W VALUE=\"a,b,c,d,e,f\"/>\n</HOTKEY_CONFIG>\n"
                             "</BLOCK_B>\n</LOGIN>\n</MOXCL>\n";

// What a reader gave token by token.
struct Scan {
    std::vector<LexedToken> tokens;
    std::vector<std::string> traces;  // the trace each token wrote
    Trail trail;
    LexerState lexer;                  // after the end of the input
};

// A reader over a script of its own, scanned one token at a time.
class Scanning {
public:
    explicit Scanning(const std::string& text) : script(open_text(text)), reader(script, link, recorder)
    {
        run.state.checking_pass = false;
    }
    ~Scanning()
    {
        reset_lexer(reader);
        std::fclose(script);
    }

    // False once the input has ended.
    bool step()
    {
        trail = &scan.trail;
        testing::internal::CaptureStdout();
        int code = next_token(reader);
        std::fflush(stdout);
        scan.traces.push_back(testing::internal::GetCapturedStdout());
        if (code == 0) {
            scan.lexer = reader.lexer;
            return false;
        }
        bool has_value = code == STRING || code == IDENTIFIER;
        scan.tokens.push_back({code, has_value ? reader.scan.token_value : ""});
        return true;
    }

    Scan scan;

private:
    FILE* script;
    RunContext run;
    Link link{run};
    ScriptReader reader;
};

Scan scan_alone(const std::string& text)
{
    Scanning scanning(text);
    while (scanning.step()) {
    }
    return scanning.scan;
}

void expect_same_scan(const Scan& got, const Scan& alone, const char* name)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(got.tokens, alone.tokens);
    EXPECT_EQ(got.traces, alone.traces);
    EXPECT_EQ(got.trail.calls, alone.trail.calls);
    EXPECT_EQ(got.lexer.line_counter, alone.lexer.line_counter);
    EXPECT_STREQ(got.lexer.line_text, alone.lexer.line_text);
    EXPECT_STREQ(got.lexer.last_token_text, alone.lexer.last_token_text);
    EXPECT_EQ(got.lexer.first_cdata_line, alone.lexer.first_cdata_line);
}

TEST(ScriptReaders, ScannedByTurnsEachGivesItsOwnTokens)
{
    const Scan alone_a = scan_alone(script_a);
    const Scan alone_b = scan_alone(script_b);
    ASSERT_GT(alone_a.tokens.size(), alone_b.tokens.size());
    ASSERT_EQ(alone_b.lexer.first_cdata_line, 3);

    Scanning a(script_a);
    Scanning b(script_b);
    bool a_going = true;
    bool b_going = true;
    while (a_going || b_going) {
        if (a_going)
            a_going = a.step();
        if (b_going)
            b_going = b.step();
    }
    expect_same_scan(a.scan, alone_a, "A");
    expect_same_scan(b.scan, alone_b, "B");
}

struct Parse {
    int result = -1;
    std::string output;
    Trail trail;
};

// Parses text with a reader of its own; between runs when the reader
// sends a token (it may parse another script).
Parse parse_with_own_reader(const std::string& text, std::function<void(const char*)> between = {})
{
    Parse parse;
    parse.trail.on_send = std::move(between);
    FILE* script = open_text(text);
    {
        RunContext run;
        run.state.checking_pass = false;
        Link link(run);
        ScriptReader reader(script, link, recorder);
        Trail* outer = trail;
        trail = &parse.trail;
        testing::internal::CaptureStdout();
        parse.result = static_cast<int>(parse_script(reader));
        std::fflush(stdout);
        parse.output += testing::internal::GetCapturedStdout();
        trail = outer;
    }
    std::fclose(script);
    return parse;
}

// B is parsed from start to end inside A's scan, right after A has read
// its firmware command's image location: A's scanner is in the middle of
// a token, with the location kept, the comment and the syntax error still
// to come.
TEST(ScriptReaders, ParseInsideAnothersScanLeavesItAsItWas)
{
    const Parse alone_a = parse_with_own_reader(script_a);
    const Parse alone_b = parse_with_own_reader(script_b);
    ASSERT_EQ(alone_a.result, 1);
    ASSERT_EQ(alone_b.result, 1);
    ASSERT_NE(alone_a.output.find("Line #10: syntax error near \"VALUE\""), std::string::npos) << alone_a.output;
    ASSERT_NE(alone_b.output.find("Parse error: Line #8: Invalid number for hotkeys"), std::string::npos)
        << alone_b.output;

    Parse inner;
    std::string a_before;
    bool parsed_inside = false;
    Parse outer = parse_with_own_reader(script_a, [&](const char* token) {
        if (parsed_inside || std::strcmp(token, "IMAGE_LENGTH") != 0)
            return;
        parsed_inside = true;
        std::fflush(stdout);
        a_before = testing::internal::GetCapturedStdout();
        inner = parse_with_own_reader(script_b);
        testing::internal::CaptureStdout();
    });
    ASSERT_TRUE(parsed_inside);
    EXPECT_EQ(inner.result, alone_b.result);
    EXPECT_EQ(inner.output, alone_b.output);
    EXPECT_EQ(inner.trail.calls, alone_b.trail.calls);
    EXPECT_EQ(outer.result, alone_a.result);
    EXPECT_EQ(a_before + outer.output, alone_a.output);
    EXPECT_EQ(outer.trail.calls, alone_a.trail.calls);
}

// A reader dropped in the middle of its scan takes its scanner with it
// (the sanitizer build's leak check sees it).
TEST(ScriptReaders, DroppedInTheMiddleOfAScan)
{
    FILE* script = open_text(script_a);
    {
        RunContext run;
        run.state.checking_pass = false;  // a live pass: each token goes to the recorder
        Link link(run);
        ScriptReader reader(script, link, recorder);
        Trail dropped;
        trail = &dropped;
        testing::internal::CaptureStdout();
        for (int i = 0; i < 5; ++i)
            EXPECT_NE(next_token(reader), 0);
        std::fflush(stdout);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(dropped.calls.size(), 5u);
    }
    std::fclose(script);
}

}  // namespace
