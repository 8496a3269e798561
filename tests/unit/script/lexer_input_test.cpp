// How the lexer takes the script from its stream, and how it lets go of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "link/link.h"
#include "script/grammar.h"
#include "script/lexer.h"
#include "script/script_reader.h"
#include "script_harness.h"

namespace {

// Read system calls made by the process so far, or -1 when the system does
// not tell.
long long read_calls()
{
    FILE* io = fopen("/proc/self/io", "r");
    if (io == nullptr)
        return -1;
    long long calls = -1;
    char line[128];
    while (fgets(line, sizeof line, io) != nullptr)
        if (sscanf(line, "syscr: %lld", &calls) == 1)
            break;
    fclose(io);
    return calls;
}

// Lexes text from an unbuffered stream, so that every read of the lexer is
// one read system call, and returns the number of those calls. The text is
// made of names alone: nothing is traced, nothing else is read meanwhile.
long long reads_to_lex(const std::string& text, std::vector<std::string>& names)
{
    FILE* script = tmpfile();
    fwrite(text.data(), 1, text.size(), script);
    rewind(script);
    setvbuf(script, nullptr, _IONBF, 0);
    long long before;
    long long after;
    {
        RunContext run;
        Link link(run);
        ScriptReader reader(script, link);
        before = read_calls();
        for (int code; (code = next_token(reader)) != 0;)
            names.push_back(code == IDENTIFIER ? reader.scan.token_value : "?");
        after = read_calls();
    }
    fclose(script);
    return before < 0 || after < 0 ? -1 : after - before;
}

TEST(ScriptReads, AtMost8192BytesAtATime)
{
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "name other\n";
    std::vector<std::string> names;
    long long reads = reads_to_lex(text, names);
    if (reads < 0)
        GTEST_SKIP() << "no count of read calls";
    EXPECT_EQ(names.size(), 20000u);
    EXPECT_GE(reads, static_cast<long long>(text.size() / 8192));
}

// A token longer than the buffer makes the buffer grow, and the matcher scans
// the token again from its start after every read. The grown buffer is
// filled at once, so a megabyte token takes a dozen reads or so; at 8192
// bytes a read it would take 128 and scan the token 128 times. This fails if
// flex stops offering YY_INPUT the whole free space of its buffer.
TEST(ScriptReads, GrownBufferIsFilledAtOnce)
{
    const std::string name(1 << 20, 'n');
    std::vector<std::string> names;
    long long reads = reads_to_lex("a " + name + " b", names);
    if (reads < 0)
        GTEST_SKIP() << "no count of read calls";
    EXPECT_EQ(names, (std::vector<std::string>{"a", name.substr(0, LINE_TEXT_MAX), "b"}));
    EXPECT_LT(reads, 24);
}

// The line text is copied from what flex has read beyond the line feed, its
// first character kept aside by flex. The line feed is put at every place
// around the end of the first read, and in a buffer grown for a long name,
// before lines of every kind: this fails if flex changes the buffer fields
// that the copy reads.
TEST(ScannerBuffer, LineTextAfterEveryLineFeed)
{
    const std::string wide(300, 'w');
    const std::string lines[] = {"", "x", "two words", wide};
    for (const std::string& before : {std::string(), std::string(40000, 'L') + " "}) {
        for (size_t pad = 8180; pad <= 8196; ++pad) {
            for (const std::string& line : lines) {
                std::string text = before + std::string(pad, ' ') + "a\n" + line;
                LexerState lexer = lex_script(text).lexer;
                EXPECT_EQ(lexer.line_counter, 1) << before.size() << " " << pad << " " << line;
                EXPECT_EQ(lexer.line_text, line.substr(0, LINE_TEXT_MAX))
                    << before.size() << " " << pad << " " << line;
            }
        }
    }
}

std::string in_block(const std::string& commands)
{
    return "<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n<BLOCK_A MODE=\"read\">\n" + commands +
           "\n</BLOCK_A>\n</LOGIN>\n</MOXCL>\n";
}

// A parse stopped by a failed value check leaves the lexer in the middle of
// its script: buffer grown for a long name, more of the script read ahead. After restart_lexer or reset_lexer the next
// script is read exactly as by a lexer that never saw the first.
TEST(LexerReset, NextScriptAfterAStoppedParseStartsClean)
{
    const std::string long_name(40000, 'L');
    const std::string stopped = "<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n<" + long_name +
                                " MODE=\"bad\"> " + std::string(30000, ' ') + "<X/>\n" +
                                std::string(20000, '\n') + "<Y/>\n</B>\n</LOGIN>\n</MOXCL>\n";
    const std::string next = in_block("<GET_A/>\n<X A=\"1\" VALUE=\"2\"/>");
    ScriptRun fresh = run_script(next);
    ASSERT_EQ(fresh.result, 1);
    ASSERT_EQ(error_reports(fresh.output),
              std::vector<std::string>{
                  "1 - Syntax error: Line #4: syntax error near \"VALUE\" in the line: \"<X A=\"1\" VALUE=\"2\"/>\""});

    void (*const resets[])(ScriptReader&, FILE*) = {
        [](ScriptReader& reader, FILE* script) { restart_lexer(reader, script); },
        [](ScriptReader& reader, FILE*) { reset_lexer(reader); }};
    for (auto reset : resets) {
        ScriptRun after = run_script_after(stopped, next, reset);
        EXPECT_EQ(after.result, fresh.result);
        EXPECT_EQ(after.output, fresh.output);
        EXPECT_EQ(after.events, fresh.events);
    }
}

}  // namespace
