// Runs the script checker over a script text with the link operations
// replaced by a recorder, and collects what it did.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

struct ScriptRun {
    int result = -1;
    std::string output;               // standard output of the parse
    // In order: each token sent (its text), "check" for a response check
    // ("check+" when the whole response was to be shown), "write" for a
    // floppy image write, "override" for the login override, and
    // "firmware(...)", "insert(...)", "copy(...)" with the image location.
    std::vector<std::string> events;
};

struct ScriptRunOptions {
    bool live_pass = true;            // false: the checking pass
    bool credentials_overridden = false;
    const char* override_password = "";
    int image_result = 0;             // what the image transfers return
};

ScriptRun run_script(const std::string& text, const ScriptRunOptions& options = {});
// Parses earlier, which must stop its parse, then calls between with the
// stream of text (already the script input) and parses text (live pass).
// What is returned is the second parse's.
ScriptRun run_script_after(const std::string& earlier, const std::string& text, void (*between)(FILE* script));

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
};

// Reads the whole text through the lexer alone (live pass).
LexRun lex_script(const std::string& text);
// The same with the script read from the given stream, left open.
LexRun lex_stream(FILE* script);

// Every "Parse error: ..." and "1 - Syntax error: ..." report in the output.
std::vector<std::string> error_reports(const std::string& output);

std::ostream& operator<<(std::ostream& out, const LexedToken& token);
