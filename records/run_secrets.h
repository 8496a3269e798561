// The run's own passwords as texts: the processor may echo them in its
// answers, and what the console and the log show of an answer has them
// masked, as the run report has.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct RunContext;

// Shorter values are not masked: they would mask ordinary words.
constexpr size_t SHORTEST_MASKED_SECRET = 3;
// At most this many are noted (a script may log in many times): what every
// answer shown costs stays bounded.
constexpr size_t RUN_SECRET_LIMIT = 64;

struct RunSecrets {
    // Longest first, so that a secret holding a shorter one is masked whole.
    std::vector<std::string> texts;
};

// Notes a password the run logs in with (the one the command line, the
// environment or a file gave, the script's LOGIN password) as it is and as
// attribute text, the two forms an answer may echo it in; the run report
// masks both too.
void note_run_secret(RunContext& run, std::string_view value);

// text with every noted secret masked.
std::string mask_run_secrets(const RunContext& run, std::string_view text);
// Masks every occurrence of each of secrets in text, in their order.
void mask_texts(std::string& text, const std::vector<std::string>& secrets);

// An answer shown piece by piece as its reads come: the end of a piece
// that may be the start of a secret waits for the next piece, so that a
// secret cut between two reads is masked whole all the same.
class EchoMask {
public:
    // What can be shown now of the text held back and piece, masked.
    std::string shown(const RunContext& run, std::string_view piece);
    // What is held back, at the answer's end (the start of no secret that
    // came whole).
    std::string rest();

private:
    std::string held_;
};
