// Hostile scripts: huge tokens, unclosed constructs, garbage. The parse must
// end with a verdict and stay inside its buffers (run under the sanitizers).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "script/lexer.h"
#include "script_harness.h"

namespace {

constexpr size_t MEGABYTE = 1 << 20;

std::string in_block(const std::string& commands)
{
    return "<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n<BLOCK_A MODE=\"read\">\n" + commands +
           "\n</BLOCK_A>\n</LOGIN>\n</MOXCL>\n";
}

TEST(Robustness, MegabyteIdentifierOnOneLine)
{
    const std::string name(MEGABYTE, 'n');
    ScriptRun run = run_script(in_block("<" + name + " A=\"1\"/>"));
    EXPECT_EQ(run.result, 0);
    // The name is sent whole, traced with its first 256 characters.
    EXPECT_TRUE(std::find(run.events.begin(), run.events.end(), name) != run.events.end());
    EXPECT_NE(run.output.find("<s> " + std::string(256, 'N') + "\n<s> A\n"), std::string::npos);
}

TEST(Robustness, MegabyteQuotedString)
{
    const std::string value(MEGABYTE, 'v');
    ScriptRun run = run_script(in_block("<X A=\"" + value + "\"/>"));
    EXPECT_EQ(run.result, 0);
    EXPECT_NE(run.output.find("<s> " + value.substr(0, 511) + "\n"), std::string::npos);
    // The same without its closing quote: a stray quote, then a huge name.
    run = run_script(in_block("<X A=\"" + value + "/>"));
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(error_reports(run.output),
              std::vector<std::string>{"1 - Syntax error: Line #3: syntax error near \"=\" in the line: \"<X A=\"" +
                                       value.substr(0, 250) + "\""});
}

TEST(Robustness, UnclosedCommentAndCdata)
{
    struct UnclosedCase {
        const char* tail;
        const char* report;
    };
    // Both swallow the rest of the script, counting its line feeds.
    const UnclosedCase cases[] = {
        {"<!-- never closed\n-- >", "1 - Syntax error: Line #8: syntax error near \">\" in the line: \"<!-- never closed\""},
        {"<IMPORT_CERTIFICATE><![CDATA[ never ]] >",
         "1 - Syntax error: Line #7: syntax error near \">\" in the line: \"<IMPORT_CERTIFICATE><![CDATA[ never ]] >\""},
    };
    for (const UnclosedCase& c : cases) {
        ScriptRun run = run_script(in_block(c.tail));
        EXPECT_EQ(run.result, 1) << c.tail;
        EXPECT_EQ(error_reports(run.output), std::vector<std::string>{c.report}) << c.tail;
    }
}

TEST(Robustness, NulBytes)
{
    using namespace std::string_literals;
    // Inside a comment a NUL is just text; inside a quoted value it ends the value.
    ScriptRun run = run_script(in_block("<!-- a\0b -->\n<X A=\"x\0y\"/>"s));
    EXPECT_EQ(run.result, 0) << run.output;
    EXPECT_NE(run.output.find("<s> x\n"), std::string::npos);
}

TEST(Robustness, RandomBytes)
{
    std::mt19937 generator(20150327);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 4; ++round) {
        std::string garbage(64 * 1024, '\0');
        for (char& c : garbage)
            c = static_cast<char>(byte(generator));
        // Random bytes after a valid opening, so the lexer gets past the start.
        EXPECT_EQ(run_script(in_block(garbage)).result, 1);
        // Random picks of the script's own vocabulary reach deeper.
        static const char* const words[] = {"<", ">", "</", "/>", "=", "\"v\"", "X", "MODE", "VALUE", "\n",
                                            "<!--", "-->", "<![CDATA[", "]]>", "-----BEGIN BLOB-----", "'"};
        std::string soup;
        for (int i = 0; i < 20000; ++i)
            soup += std::string(words[byte(generator) % 16]) + ' ';
        EXPECT_EQ(run_script(in_block(soup)).result, 1);
    }
}

}  // namespace
