// Stream mode: text on the connection and the processor's responses.
#pragma once

#include <cstddef>

struct ResponseVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

extern ResponseVersion response_version;
// Set by the actions for commands whose whole response is shown.
extern bool show_whole_response;

int plain_send(const char* text);
int masked_send(const char* text);
int token_send(const char* token);
int masked_token_send(const char* token);

// Reads one response into buffer (at most size bytes; the buffer holds
// size + 1 so the text always ends in a terminator) and judges its status:
// 0, 3 read failure, 4 malformed, 5 error status, or run_status when set.
// The response is read to its end, also where it does not fit into buffer.
int response_check(char* buffer, int size);

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

// Reads the status of a response held in text (zero-terminated).
ResponseStatus parse_response_status(const char* text);
