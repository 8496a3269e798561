// The script grammar's driver.
#pragma once

struct ScriptReader;

enum class [[nodiscard]] ParseResult {
    accepted = 0,
    rejected = 1,      // a syntax error, a value check that stops the parse, a failed image command
    input_failed = 2,  // the script could not be read (reported on standard error)
};

// Parses the whole script from the reader's input.
ParseResult parse_script(ScriptReader& reader);

// "1 - Syntax error: Line #n: <message> near "<token>" in the line: "<line>""
void report_syntax_error(ScriptReader& reader, const char* message);
