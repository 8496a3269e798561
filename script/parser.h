// The script grammar's driver.
#pragma once

// Parses the whole script from the lexer's input: 0 when accepted, 1 on a
// syntax error, a value check that stops the parse or a failed image command.
int parse_script();

// "1 - Syntax error: Line #n: <message> near "<token>" in the line: "<line>""
void report_syntax_error(const char* message);
