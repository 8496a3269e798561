#include "script_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "records/run_context.h"
#include "link/link.h"
#include "link/stream_exchange.h"
#include "script/grammar.h"
#include "script/lexer.h"
#include "script/link_calls.h"
#include "script/parser.h"
#include "script/script_reader.h"

static ScriptRun* current_run;
static const ScriptRunOptions* current_options;

// Like the real token send, sends nothing while the checking pass flag is set.
static LinkResult record_token(Link& link, const char* token)
{
    if (!link.run.state.checking_pass)
        current_run->events.emplace_back(token);
    return LinkResult::ok;
}

static LinkResult record_check(Link& link, char* buffer, int size)
{
    memset(buffer, 0, static_cast<size_t>(size));
    current_run->events.emplace_back(link.show_whole_response ? "check+" : "check");
    link.show_whole_response = false;
    return LinkResult::ok;
}

static LinkResult record_firmware(Link&, const char* location)
{
    current_run->events.push_back("firmware(" + std::string(location) + ")");
    return current_options->image_result == 0 ? LinkResult::ok : LinkResult::failed_command;
}

static LinkResult record_insert(Link&, const char* location)
{
    current_run->events.push_back("insert(" + std::string(location) + ")");
    return current_options->image_result == 0 ? LinkResult::ok : LinkResult::failed_command;
}

static LinkResult record_copy(Link&, const char* location)
{
    current_run->events.push_back("copy(" + std::string(location) + ")");
    return current_options->image_result == 0 ? LinkResult::ok : LinkResult::failed_command;
}

static LinkResult record_write(Link&)
{
    current_run->events.emplace_back("write");
    return LinkResult::ok;
}

static const char* override_user_name(Link&)
{
    return current_options->override_user_name;
}

static const char* override_password(Link&)
{
    return current_options->override_password;
}

static void record_user_override(Link&)
{
    current_run->events.emplace_back("user-override");
}

static void record_password_override(Link&)
{
    current_run->events.emplace_back("password-override");
}

FILE* open_text(const std::string& text)
{
    FILE* script = tmpfile();
    fwrite(text.data(), 1, text.size(), script);
    rewind(script);
    return script;
}

// A masked token goes out as it is: the conversation records it alike.
static const ScriptLinkCalls recorder = {
    record_token, record_token,       record_check,      record_firmware,      record_insert,           record_copy,
    record_write, override_user_name, override_password, record_user_override, record_password_override};

static void start_run(const ScriptRunOptions& options, ScriptRun& run, RunContext& context)
{
    current_run = &run;
    current_options = &options;
    context.state.checking_pass = !options.live_pass;
    testing::internal::CaptureStdout();
}

static void end_run(ScriptRun& run, ScriptReader& reader)
{
    fflush(stdout);
    run.output = testing::internal::GetCapturedStdout();
    run.image_location = reader.image_location;
    reset_lexer(reader);
    current_run = nullptr;
}

ScriptRun run_script(const std::string& text, const ScriptRunOptions& options)
{
    ScriptRun run;
    FILE* script = open_text(text);
    RunContext context;
    Link link(context);
    ScriptReader reader(script, link, recorder);
    start_run(options, run, context);
    run.result = static_cast<int>(parse_script(reader));
    end_run(run, reader);
    fclose(script);
    return run;
}

ScriptRun run_script_after(const std::string& earlier, const std::string& text,
                           void (*between)(ScriptReader& reader, FILE* script))
{
    ScriptRunOptions options;
    ScriptRun run;
    FILE* earlier_script = open_text(earlier);
    FILE* script = open_text(text);
    RunContext context;
    Link link(context);
    ScriptReader reader(earlier_script, link, recorder);
    start_run(options, run, context);
    int earlier_result = static_cast<int>(parse_script(reader));
    fflush(stdout);
    testing::internal::GetCapturedStdout();
    run.events.clear();
    testing::internal::CaptureStdout();
    reader.input = script;
    between(reader, script);
    run.result = static_cast<int>(parse_script(reader));
    end_run(run, reader);
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
    RunContext context;
    Link link(context);
    ScriptReader reader(script, link, recorder);
    start_run(options, run, context);
    for (int code; (code = next_token(reader)) != 0;) {
        bool has_value = code == STRING || code == IDENTIFIER;
        lexed.tokens.push_back({code, has_value ? reader.scan.token_value : ""});
    }
    lexed.lexer = reader.lexer;
    end_run(run, reader);
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
