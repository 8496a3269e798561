#include <cstdio>
#include <cstring>
#include <string>

#include "records/secret_attributes.h"
#include "records/run_report.h"
#include "records/log_output.h"
#include "script/lexer.h"
#include "script/parser.h"
#include "script/script_reader.h"

constexpr int SYNTAX_ERROR_SIZE = 2048;

static void trim_blanks(char* text)
{
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    text[length] = '\0';
    size_t start = strspn(text, " \t");
    memmove(text, text + start, length - start + 1);
}

void report_syntax_error(ScriptReader& reader, const char* message)
{
    LexerState& lexer = reader.lexer;
    trim_blanks(lexer.last_token_text);
    trim_blanks(lexer.line_text);
    // Secrets quoted from the script show masked.
    const char* near = lexer.last_token_secret ? MASKED_SECRET.data() : lexer.last_token_text;
    std::string line = mask_secret_attributes(lexer.line_text);
    char text[SYNTAX_ERROR_SIZE];
    snprintf(text, sizeof text, "Syntax error: Line #%d: %s near \"%s\" in the line: \"%s\"",
             lexer.line_counter, message, near, line.c_str());
    console_only(reader.run, "%d - %s\n", 1, text);
    report_error_line(reader.run, text);
    reset_lexer(reader);
}
