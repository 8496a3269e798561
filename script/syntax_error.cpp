#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "records/secret_attributes.h"
#include "records/run_report.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "script/lexer.h"
#include "script/parser.h"
#include "script/script_reader.h"

constexpr int SYNTAX_ERROR_SIZE = 2048;

// The text without the blanks and tabs at its start and end.
static std::string_view trimmed(std::string_view text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// The current line with every secret value on it masked: those the
// scanner read there, and the one it is about to read when the error came
// between a secret's name and its value, whatever the layout of the lines.
// (The line text holds at most the line's first LINE_TEXT_MAX characters.)
static std::string line_with_secrets_masked(const LexerState& lexer)
{
    std::string line = lexer.line_text;
    const unsigned long long start = lexer.line_start;
    const unsigned long long end = start + line.size();
    // Masked from the last one back, so that the places before stay put.
    auto mask = [&line, start](unsigned long long from, unsigned long long to) {
        line.replace(static_cast<size_t>(from - start), static_cast<size_t>(to - from), MASKED_SECRET);
    };
    if (lexer.secret_value_next && lexer.secret_value_from < end) {
        size_t from = static_cast<size_t>(std::max(lexer.secret_value_from, start) - start);
        size_t quote = line.find_first_of("\"'", from);
        if (quote != std::string::npos) {
            size_t close = line.find(line[quote], quote + 1);
            mask(start + quote + 1, start + (close == std::string::npos ? line.size() : close));
        }
    }
    for (auto span = lexer.secret_spans.rbegin(); span != lexer.secret_spans.rend() && span->end > start; ++span)
        if (span->begin < end)
            mask(std::max(span->begin, start), std::min(span->end, end));
    return line;
}

void report_syntax_error(ScriptReader& reader, const char* message)
{
    LexerState& lexer = reader.lexer;
    // Secrets quoted from the script show masked.
    std::string near(lexer.last_token_secret ? MASKED_SECRET : trimmed(lexer.last_token_text));
    std::string line = mask_secret_attributes(trimmed(line_with_secrets_masked(lexer)));
    char text[SYNTAX_ERROR_SIZE];
    snprintf(text, sizeof text, "Syntax error: Line #%d: %s near \"%s\" in the line: \"%s\"",
             lexer.line_counter, message, near.c_str(), line.c_str());
    console_only(reader.run, "%d - %s\n", 1, text);
    report_error_line(reader.run, text);
    // The counter starts at 0 (the console's "Line #" keeps it); a person
    // counts from 1.
    int line_number = lexer.line_counter + 1;
    note_cause(reader.run, Cause::script_syntax,
               format_text("line %d: %s near \"%s\" in the line \"%s\"", line_number, message, near.c_str(),
                           line.c_str()),
               line_number);
    reset_lexer(reader);
}
