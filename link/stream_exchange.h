// Stream mode: text on the connection and the processor's responses.
#pragma once

#include <cstddef>

#include "records/results.h"

struct Link;

struct ResponseVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

// How this processor ends an answer whose root is written as an empty
// element, as far as the link has seen. Such an answer may end with its
// RESPONSE element or with the marker "<END_MOXCL/>"; a processor keeps to
// one way, and the first answer that holds the marker shows it. From then
// on every such answer is read to its marker, in however many writes it
// comes. Before that, an answer taken whole without its marker may see the
// marker open the next read: it belongs to that answer and is passed over.
struct EmptyRootEnds {
    bool with_marker = false;
    bool marker_may_follow = false;
};

// The next response check that shows a response shows it whole (the root
// element, GET commands).
void show_next_response_whole(Link& link);

// Writes text on the connection with one write: ok, write_failure (run
// status 6), or skipped when the run has already failed.
LinkResult plain_send(Link& link, const char* text);
// The same, with trace_text in the verbose trace in place of text, so that
// a secret inside a longer line never reaches the console or the log.
LinkResult plain_send_traced_as(Link& link, const char* text, const char* trace_text);
// One script token and its separator (a line feed after a token beginning
// with '>' or '/', else a blank); nothing during the checking pass. The
// masked send traces "********" in place of the token.
LinkResult token_send(Link& link, const char* token);
LinkResult masked_token_send(Link& link, const char* token);

// Reads one response into buffer (at most size bytes; the buffer holds
// size + 1 so the text always ends in a terminator), reads it to its end
// and judges its status: ok, read_failure (run status 3), error_status
// (run status the processor's code), malformed_response (the run goes on),
// or skipped when the run has already failed. Nothing is read during the
// checking pass or in HTTP mode.
LinkResult response_check(Link& link, char* buffer, int size);

// Result of reading a response status line.
struct ResponseStatus {
    bool major_taken = false;
    bool version_taken = false;  // major and minor
    unsigned major = 0;
    unsigned minor = 0;
    bool status_taken = false;  // also when written with "0X"
    unsigned status = 0;
    bool complete = false;  // version, status ("0x") and message all taken
};

// The largest status a response may carry, and what one beyond it reads as:
// a failing status whose low byte is zero, so that the exit status is 1.
constexpr unsigned long long STATUS_MAX = 0xFFFFFFFFull;
constexpr unsigned STATUS_OUT_OF_RANGE = 0xFFFFFF00u;

// Reads the status of a response held in text (zero-terminated).
ResponseStatus parse_response_status(const char* text);
