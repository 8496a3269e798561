// The script lexer: tokens for the parser, the token stream forwarded to the
// processor in stream mode, the token trace, and the line bookkeeping that
// error messages are built from.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <vector>

#include "records/secret_attributes.h"

struct ScriptReader;

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
    // Where the current line starts, where every secret value read in this
    // pass stands (in the order read) and, while a secret value is still to
    // come, where the text after its name (or "=") starts: offsets in the
    // script's text. By these the messages that quote a line, and the
    // HTTP-mode trace of the checked script, mask a secret whatever the
    // layout of its lines.
    unsigned long long line_start = 0;
    std::vector<SecretSpan> secret_spans;
    unsigned long long secret_value_from = 0;
};

// Token value cells. The parser keeps a pointer to a token's value on its
// stack instead of a copy, so every STRING or IDENTIFIER takes a cell of its
// own in turn; an action reads a value at most two tokens after it was read,
// long before its cell comes round again.
constexpr int TOKEN_VALUE_CELLS = 500;
using TokenValueCell = char[TOKEN_VALUE_SIZE];

// Room for the keywords' token codes.
constexpr int KEYWORD_KINDS = 64;

// Where the scan of one script stands: the flex scanner while a scan is
// under way, and what the lexer keeps beside it.
struct ScannerState {
    void* scanner = nullptr;  // the flex scanner (yyscan_t), none between scans
    std::unique_ptr<TokenValueCell[]> token_values = std::make_unique_for_overwrite<TokenValueCell[]>(TOKEN_VALUE_CELLS);
    int next_value_cell = 0;
    // The value of the last STRING or IDENTIFIER token, in its cell.
    const char* token_value = "";
    // Offsets in the script text: how much the scanner has been given and
    // how much of it its rules and the comment and CDATA reader have
    // consumed, by which that reader tells the end of the input from a NUL
    // byte.
    unsigned long long delivered = 0;
    unsigned long long consumed = 0;
    bool is_terminal = false;
    bool buffer_has_grown = false;
    // The text of the current line is still being copied (it runs past
    // the data read so far), and how much of it is copied.
    bool line_capture_pending = false;
    size_t line_capture_length = 0;
    // The scanner met the end of its input.
    bool input_ended = false;
    // What each keyword's name says about the value after it, from its
    // first appearance on (0: not seen yet), by token code from the first.
    unsigned char keyword_names[KEYWORD_KINDS] = {};
};

// The scanner's input failed, for the reason given. The one thing the
// scanner throws; the parse driver catches it and writes the reason on the
// run's standard error.
struct ScriptInputFailed {
    const char* reason;
};

// Next token code of the reader's script; 0 at the end of the input. The
// value of a STRING or IDENTIFIER is then in reader.scan.token_value.
int next_token(ScriptReader& reader);
// Scan the given stream from its current position, as if from the start:
// what was read of the previous input, and where its scan stood, is gone.
// The stream becomes the reader's input.
void restart_lexer(ScriptReader& reader, FILE* stream);
// Drop the input buffer and everything read ahead; the next token comes
// from the reader's input afresh. Done at the end of the input and after a
// syntax error; a parse stopped by an action leaves the lexer where it stood
// until this or restart_lexer is called.
void reset_lexer(ScriptReader& reader);
