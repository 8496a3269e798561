#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/grammar.h"
#include "script/lexer.h"
#include "script_harness.h"

namespace {

using namespace std::string_literals;

struct LexCase {
    std::string text;
    std::vector<LexedToken> tokens;
    std::vector<std::string> sent;
};

TEST(Lexer, TokensValuesAndWhatIsForwarded)
{
    const std::string long_name(300, 'N');
    const LexCase cases[] = {
        {"login Login LOGIN LOGIN_X LOGI",
         {{LOGIN, ""}, {LOGIN, ""}, {LOGIN, ""}, {IDENTIFIER, "LOGIN_X"}, {IDENTIFIER, "LOGI"}},
         {"login", "Login", "LOGIN", "LOGIN_X", "LOGI"}},
        {"<?xml version=\"1.0\"?>",
         {{OPEN_QTAG, ""}, {XML_TAG, ""}, {VERSION, ""}, {EQUALS, ""}, {STRING, "1.0"}, {CLOSE_QTAG, ""}},
         {"<?", "xml", "version", "=", "\"1.0\"", "?>"}},
        {"< </ /> > = - XMLDOC",
         {{START_OPEN_TAG, ""}, {START_CLOSE_TAG, ""}, {CLOSE_OPEN_TAG, ""}, {END_TAG, ""}, {EQUALS, ""},
          {HYPHEN, ""}, {XMLDOC, ""}},
         {"<", "</", "/>", ">", "=", "-", "XMLDOC"}},
        {"entity-processing", {{ENTITY, ""}, {HYPHEN, ""}, {PROCESSING, ""}}, {"entity", "-", "processing"}},
        // Strings: the empty form, leading blanks dropped, trailing kept.
        {"'   ' \" \t\" \"  abc  \" 'say \"hi\"' \"it's\"",
         {{STRING, ""}, {STRING, ""}, {STRING, "abc  "}, {STRING, "say \"hi\""}, {STRING, "it's"}},
         {"'   '", "\" \t\"", "\"  abc  \"", "'say \"hi\"'", "\"it's\""}},
        // A quote never runs past its line: it is a stray character.
        {"\"ab\ncd\"", {{'"', ""}, {IDENTIFIER, "ab"}, {IDENTIFIER, "cd"}, {'"', ""}}, {"ab", "cd"}},
        {"-----BEGIN CERTIFICATE-----\nMIIB+/=\n-----END CERTIFICATE-----x",
         {{TEXT_BLOCK, ""}, {IDENTIFIER, "x"}},
         {"-----BEGIN CERTIFICATE-----\nMIIB+/=\n-----END CERTIFICATE-----", "x"}},
        {"-----begin ssh key-----\nssh-rsa AA--BB\n-----End SSH Key-----",
         {{TEXT_BLOCK, ""}},
         {"-----begin ssh key-----\nssh-rsa AA--BB\n-----End SSH Key-----"}},
        {"-----BEGIN KEYTAB-----AB-----END KEYTAB----- -----BEGIN BLOB-----\n\n-----END BLOB-----",
         {{TEXT_BLOCK, ""}, {TEXT_BLOCK, ""}},
         {"-----BEGIN KEYTAB-----AB-----END KEYTAB-----", "-----BEGIN BLOB-----\n\n-----END BLOB-----"}},
        // A CDATA section is a block that is never forwarded; comments vanish.
        {"<![CDATA[ a <b> ] ]] ]]>x <!-- a -- b --> <!---->y <!-->z-->w",
         {{TEXT_BLOCK, ""}, {IDENTIFIER, "x"}, {IDENTIFIER, "y"}, {IDENTIFIER, "w"}},
         {"x", "y", "w"}},
        // Stray characters come back as their codes and are not forwarded.
        {"! & . : ; [ ] \f \r \xC3 \x7F",
         {{'!', ""}, {'&', ""}, {'.', ""}, {':', ""}, {';', ""}, {'[', ""}, {']', ""}, {'\f', ""}, {'\r', ""},
          {0xC3, ""}, {0x7F, ""}},
         {}},
        // A NUL between tokens reads as the end of the input.
        {"a\0b"s, {{IDENTIFIER, "a"}}, {"a"}},
        {long_name, {{IDENTIFIER, long_name.substr(0, 256)}}, {long_name}},
    };
    for (const LexCase& c : cases) {
        LexRun run = lex_script(c.text);
        EXPECT_EQ(run.tokens, c.tokens) << c.text;
        EXPECT_EQ(run.sent, c.sent) << c.text;
    }
}

TEST(Lexer, BrokenBlocksFallApart)
{
    for (const char* text : {"-----BEGIN CERTIFICATE-----\nA-B\n-----END CERTIFICATE-----",
                             "-----BEGIN CERTIFICATE REQUEST-----\nAB\n-----END CERTIFICATE REQUEST-----",
                             "-----BEGIN CERTIFICATE-----\nAB\n", "-----BEGIN  BLOB-----\nAB\n-----END  BLOB-----"}) {
        LexRun run = lex_script(text);
        ASSERT_FALSE(run.tokens.empty());
        EXPECT_EQ(run.tokens.front(), (LexedToken{HYPHEN, ""})) << text;
        for (const LexedToken& token : run.tokens)
            EXPECT_NE(token.code, TEXT_BLOCK) << text;
    }
}

TEST(Lexer, TraceNamesKeywordsAndStringValues)
{
    LexRun run = lex_script("<?xml version=\"1.0\"?> '  ' Login name \"  v \" <![CDATA[x]]> -----BEGIN BLOB-----x-----END BLOB-----");
    EXPECT_EQ(run.output,
              "<s> OPEN_QTAG\n<s> XML_TAG\n<s> VERSION\n<s> EQUALS\n<s> 1.0\n<s> CLOSE_QTAG\n"
              "<s> EMPTY_STRING\n<s> LOGIN\n<s> v \n");
}

// The trace shows a string's value up to a NUL byte in it.
TEST(Lexer, StringTraceEndsAtANulByte)
{
    LexRun run = lex_script("\"ab\0cd\" x"s);
    ASSERT_EQ(run.tokens.size(), 2u);
    EXPECT_EQ(run.output, "<s> ab\n");
}

TEST(Lexer, StringValueKeepsAtMost511Characters)
{
    const std::string value(600, 'v');
    LexRun run = lex_script("\"" + value + "\"");
    ASSERT_EQ(run.tokens.size(), 1u);
    EXPECT_EQ(run.tokens[0].value, value.substr(0, 511));
    EXPECT_EQ(run.sent, std::vector<std::string>{"\"" + value + "\""});
}

// Every line feed counts, wherever it stands; only those between tokens
// change the line text.
TEST(Lexer, LineCounterAndLineText)
{
    struct LineCase {
        std::string text;
        int lines;
        std::string line_text;
        std::string last_token;
    };
    const std::string wide_line(300, 'w');
    std::string rows;
    for (int i = 0; i < 3000; ++i)
        rows += "row " + std::to_string(i) + "\n";
    const LineCase cases[] = {
        {"", 0, "", ""},
        {"a\n  b c\n", 2, "", "c"},
        {"a\n  b c", 1, "  b c", "c"},
        {"a\n<!-- x\ny\n -->d !", 3, "<!-- x", "d"},
        {"a\n<![CDATA[\n\n]]>", 3, "<![CDATA[", "a"},
        {"a\n-----BEGIN BLOB-----\nAA\nBB\n-----END BLOB----- z", 4, "-----BEGIN BLOB-----", "z"},
        // A CR LF pair reaching the lexer is a blank, not a line end.
        {"a\r\r\nb", 0, "", "b"},
        {"a\r\nb\r\n\r\nc", 3, "c", "c"},
        {"x\n" + wide_line, 1, wide_line.substr(0, 256), wide_line.substr(0, 256)},
        // Lines that begin just before the end of one read of the script and
        // continue in the next.
        {std::string(8186, ' ') + "a\nline spans reads", 1, "line spans reads", "reads"},
        {std::string(8191, ' ') + "\nnext read", 1, "next read", "read"},
        {std::string(8180, ' ') + "a\n" + wide_line + "\n", 2, "", wide_line.substr(0, 256)},
        {std::string(8180, ' ') + "a\n" + wide_line, 1, wide_line.substr(0, 256), wide_line.substr(0, 256)},
        // A block that fails to close after many reads is scanned again as
        // ordinary tokens: its lines are taken from what was read ahead.
        {"-----BEGIN BLOB-----\n" + rows + "last row", 3001, "last row", "row"},
        {"-----BEGIN CERTIFICATE-----\n" + rows + "<end of it", 3001, "<end of it", "it"},
    };
    for (const LineCase& c : cases) {
        // Rows that differ only far into their text: each is named by its
        // place in the table and its length.
        SCOPED_TRACE("row " + std::to_string(&c - cases) + ", " + std::to_string(c.text.size()) + " bytes");
        LexerState lexer = lex_script(c.text).lexer;
        EXPECT_EQ(lexer.line_counter, c.lines);
        EXPECT_EQ(lexer.line_text, c.line_text);
        EXPECT_EQ(lexer.last_token_text, c.last_token);
    }
}

// Inside a comment or CDATA section a NUL byte is text; only the end of the
// input ends an unclosed one, also when a read ends or begins at a NUL.
TEST(Lexer, SectionsReadPastNulBytes)
{
    const std::string pad(8192 - 7, ' ');
    const LexCase cases[] = {
        {"a <!-- " + pad + "\0\0 --> b"s, {{IDENTIFIER, "a"}, {IDENTIFIER, "b"}}, {"a", "b"}},
        {"a <!--" + pad + "\0\0\0"s, {{IDENTIFIER, "a"}}, {"a"}},
        {"a <!-- x\0"s, {{IDENTIFIER, "a"}}, {"a"}},
        {"<![CDATA[" + std::string(20000, '\0') + "]]>c", {{TEXT_BLOCK, ""}, {IDENTIFIER, "c"}}, {"c"}},
        {"a <![CDATA[\0"s, {{IDENTIFIER, "a"}, {TEXT_BLOCK, ""}}, {"a"}},
    };
    for (const LexCase& c : cases) {
        SCOPED_TRACE("row " + std::to_string(&c - cases) + ", " + std::to_string(c.text.size()) + " bytes");
        LexRun run = lex_script(c.text);
        EXPECT_EQ(run.tokens, c.tokens);
        EXPECT_EQ(run.sent, c.sent);
    }
}

TEST(Lexer, CommentOrCdataSwallowsTheRestWhenUnclosed)
{
    struct UnclosedCase {
        const char* text;
        std::vector<LexedToken> tokens;
    };
    const UnclosedCase cases[] = {
        {"a <!-- b --\n> c", {{IDENTIFIER, "a"}}},
        {"a <![CDATA[ b ]]\n c ]>", {{IDENTIFIER, "a"}, {TEXT_BLOCK, ""}}},
    };
    for (const UnclosedCase& c : cases) {
        LexRun run = lex_script(c.text);
        EXPECT_EQ(run.tokens, c.tokens) << c.text;
        EXPECT_EQ(run.lexer.line_counter, 1) << c.text;
    }
}

// A keyword's secrecy is worked out once per reader; what it says about the
// value after it still depends on the element it stands in and on nothing
// else: VALUE is a secret in a trap community only, in any case, each time.
TEST(Lexer, KeywordSecrecyHoldsAtEveryAppearance)
{
    const std::string text = "<snmp_address_1_trapcommunity VERSION=\"v1\" VALUE=\"p1\"/>\n<X VALUE=\"p2\"/>\n"
                             "<SNMP_ADDRESS_1_TRAPCOMMUNITY value=\"p3\"/>\n<Y VaLuE=\"p4\"/>\n";
    const std::string trace = lex_script(text).output;
    std::vector<std::string> values;
    for (size_t at = trace.find("<s> "); at != std::string::npos; at = trace.find("<s> ", at + 1)) {
        std::string line = trace.substr(at + 4, trace.find('\n', at) - at - 4);
        if (line.front() == 'v' || line.front() == 'p' || line.front() == '*')
            values.push_back(line);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"v1", "********", "p2", "********", "p4"})) << trace;
}

}  // namespace
