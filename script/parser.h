// The script grammar's driver.
#pragma once

enum class [[nodiscard]] ParseResult {
    accepted = 0,
    rejected = 1,      // a syntax error, a value check that stops the parse, a failed image command
    input_failed = 2,  // the script could not be read (reported on standard error)
};

// Parses the whole script from the lexer's input.
ParseResult parse_script();

// "1 - Syntax error: Line #n: <message> near "<token>" in the line: "<line>""
void report_syntax_error(const char* message);
