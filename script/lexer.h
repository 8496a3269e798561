// The script lexer: tokens for the parser, the token stream forwarded to the
// processor in stream mode, the token trace, and the line bookkeeping that
// error messages are built from.
#pragma once

#include <cstdio>

constexpr int TOKEN_VALUE_SIZE = 512;
constexpr int LINE_TEXT_MAX = 256;

struct LexerState {
    int line_counter = 0;
    char line_text[LINE_TEXT_MAX + 1] = "";
    char last_token_text[LINE_TEXT_MAX + 1] = "";
    // The attribute name before the "=" holds a secret: its value is shown
    // masked wherever the run writes it down, and sent unchanged.
    bool secret_value_next = false;
    // Inside a tag whose name holds a secret: its VALUE is one.
    bool secret_element = false;
    // The line of the script's first CDATA section, -1 while there is none.
    // Stream mode drops a CDATA section's text: such a script is not sent
    // to an older processor.
    int first_cdata_line = -1;
    // The last token was such a value (or a secret text block).
    bool last_token_secret = false;
};

extern LexerState lexer_state;

// The scanner's input failed: the reason is on standard error. The one
// thing the scanner throws; the parse driver catches it.
struct ScriptInputFailed {};

// Next token code; 0 at the end of the input.
int next_token();
// Scan the given stream from its current position, as if from the start:
// what was read of the previous input, and where its scan stood, is gone.
void restart_lexer(FILE* stream);
// Drop the input buffer and everything read ahead; the next token comes from
// script_input afresh. Done at the end of the input and after a syntax error;
// a parse stopped by an action leaves the lexer where it stood until this or
// restart_lexer is called.
void reset_lexer();
