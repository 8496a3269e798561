// Runs the script checker over a script text with the link operations
// replaced by a recorder, and collects what it did.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "script/lexer.h"

struct ScriptReader;

struct ScriptRun {
    int result = -1;
    std::string output;               // standard output of the parse
    // In order: each token sent (its text), "check" for a response check
    // ("check+" when the whole response was to be shown), "write" for a
    // floppy image write, "user-override" and "password-override" for the
    // login attributes sent in place of the script's, and
    // "firmware(...)", "insert(...)", "copy(...)" with the image location.
    std::vector<std::string> events;
    std::string image_location;       // the reader's after the parse
};

struct ScriptRunOptions {
    bool live_pass = true;            // false: the checking pass
    const char* override_user_name = "";  // -u, "" when not given
    const char* override_password = "";   // -p
    int image_result = 0;             // what the image transfers return
};

ScriptRun run_script(const std::string& text, const ScriptRunOptions& options = {});
// Parses earlier, which must stop its parse, then calls between with the
// reader and the stream of text (already the reader's input) and parses
// text (live pass) with the same reader. What is returned is the second
// parse's.
ScriptRun run_script_after(const std::string& earlier, const std::string& text,
                           void (*between)(ScriptReader& reader, FILE* script));

// One token as the parser sees it: its code and, for STRING and IDENTIFIER,
// its value.
struct LexedToken {
    int code;
    std::string value;
    bool operator==(const LexedToken&) const = default;
};

struct LexRun {
    std::vector<LexedToken> tokens;   // up to, not including, code 0
    std::vector<std::string> sent;    // texts handed to the token send
    std::string output;
    LexerState lexer;                 // the reader's after the last token
};

// Reads the whole text through the lexer alone (live pass).
LexRun lex_script(const std::string& text);
// The same with the script read from the given stream, left open.
LexRun lex_stream(FILE* script);

// A text as a stream to read from, positioned at its start.
FILE* open_text(const std::string& text);

// Every "Parse error: ..." and "1 - Syntax error: ..." report in the output.
std::vector<std::string> error_reports(const std::string& output);

std::ostream& operator<<(std::ostream& out, const LexedToken& token);
