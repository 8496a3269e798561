#include "script_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "records/run_state.h"
#include "link/stream_exchange.h"
#include "script/lexer.h"
#include "script/link_calls.h"
#include "script/grammar.h"
#include "script/parser.h"

static ScriptRun* current_run;
static const ScriptRunOptions* current_options;

// Like the real token send, sends nothing while the checking pass flag is set.
static LinkResult record_token(const char* token)
{
    if (!run_state.checking_pass)
        current_run->events.emplace_back(token);
    return LinkResult::ok;
}

static LinkResult record_check(char* buffer, int size)
{
    memset(buffer, 0, static_cast<size_t>(size));
    current_run->events.emplace_back(show_whole_response ? "check+" : "check");
    show_whole_response = false;
    return LinkResult::ok;
}

static LinkResult record_firmware(const char* location)
{
    current_run->events.push_back("firmware(" + std::string(location) + ")");
    return current_options->image_result == 0 ? LinkResult::ok : LinkResult::failed_command;
}

static LinkResult record_insert(const char* location)
{
    current_run->events.push_back("insert(" + std::string(location) + ")");
    return current_options->image_result == 0 ? LinkResult::ok : LinkResult::failed_command;
}

static LinkResult record_copy(const char* location)
{
    current_run->events.push_back("copy(" + std::string(location) + ")");
    return current_options->image_result == 0 ? LinkResult::ok : LinkResult::failed_command;
}

static LinkResult record_write()
{
    current_run->events.emplace_back("write");
    return LinkResult::ok;
}

static bool overridden()
{
    return current_options->credentials_overridden;
}

static void record_override()
{
    current_run->events.emplace_back("override");
}

static const char* override_password()
{
    return current_options->override_password;
}

static FILE* open_text(const std::string& text)
{
    FILE* script = tmpfile();
    fwrite(text.data(), 1, text.size(), script);
    rewind(script);
    return script;
}

static void start_run(FILE* script, const ScriptRunOptions& options, ScriptRun& run)
{
    current_run = &run;
    current_options = &options;
    // A masked token goes out as it is: the conversation records it alike.
    script_link_calls = {record_token, record_token, record_check, record_firmware, record_insert, record_copy,
                         record_write, overridden,   record_override, override_password};
    reset_lexer();
    lexer_state = LexerState{};
    run_state.script_input = script;
    run_state.checking_pass = !options.live_pass;
    show_whole_response = false;
    testing::internal::CaptureStdout();
}

static void end_run(ScriptRun& run)
{
    fflush(stdout);
    run.output = testing::internal::GetCapturedStdout();
    reset_lexer();
    run_state.script_input = nullptr;
    run_state.checking_pass = true;
    script_link_calls = script_link_calls_default;
    current_run = nullptr;
}

ScriptRun run_script(const std::string& text, const ScriptRunOptions& options)
{
    ScriptRun run;
    FILE* script = open_text(text);
    start_run(script, options, run);
    run.result = static_cast<int>(parse_script());
    end_run(run);
    fclose(script);
    return run;
}

ScriptRun run_script_after(const std::string& earlier, const std::string& text, void (*between)(FILE* script))
{
    ScriptRunOptions options;
    ScriptRun run;
    FILE* earlier_script = open_text(earlier);
    FILE* script = open_text(text);
    start_run(earlier_script, options, run);
    int earlier_result = static_cast<int>(parse_script());
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    run.events.clear();
    testing::internal::CaptureStdout();
    run_state.script_input = script;
    between(script);
    run.result = static_cast<int>(parse_script());
    end_run(run);
    fclose(script);
    fclose(earlier_script);
    EXPECT_EQ(earlier_result, 1) << "the earlier script was to stop its parse";
    return run;
}

LexRun lex_stream(FILE* script)
{
    ScriptRunOptions options;
    ScriptRun run;
    LexRun lexed;
    start_run(script, options, run);
    for (int code; (code = next_token()) != 0;) {
        bool has_value = code == STRING || code == IDENTIFIER;
        lexed.tokens.push_back({code, has_value ? yylval : ""});
    }
    end_run(run);
    lexed.sent = run.events;
    lexed.output = run.output;
    return lexed;
}

LexRun lex_script(const std::string& text)
{
    FILE* script = open_text(text);
    LexRun lexed = lex_stream(script);
    fclose(script);
    return lexed;
}

std::ostream& operator<<(std::ostream& out, const LexedToken& token)
{
    return out << '{' << token.code << ", \"" << token.value << "\"}";
}

std::vector<std::string> error_reports(const std::string& output)
{
    // A value error message without a line feed runs on into whatever the
    // parse prints next: a trace line or another report.
    static const char* const starts[] = {"Parse error: ", "1 - Syntax error: ", "<s> ", "\n"};
    std::vector<std::string> reports;
    size_t at = 0;
    while (true) {
        size_t begin = std::string::npos;
        for (const char* start : {starts[0], starts[1]})
            begin = std::min(begin, output.find(start, at));
        if (begin == std::string::npos)
            return reports;
        size_t end = std::string::npos;
        for (const char* start : starts)
            end = std::min(end, output.find(start, begin + 1));
        reports.push_back(output.substr(begin, end == std::string::npos ? end : end - begin));
        at = begin + 1;
    }
}
