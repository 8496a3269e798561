// Generation probe and HTTP mode: request heads, chunked replies, status scan.
#pragma once

#include <cstddef>
#include <vector>

#include "link/transfer_buffers.h"

constexpr int CLIENT_HOST_NAME_SIZE = 256;
extern char client_host_name[CLIENT_HOST_NAME_SIZE];

// 1 HTTP mode, 0 stream mode, 3 read failure, -1 run already failed.
int generation_probe();

// One read of the reply; count gets the bytes read (0 at the end).
int http_chunk_read(char* buffer, int size, int& count);

// Reads the whole reply into the response store; 0 when it ended normally.
// On a read failure the run status is set and the connection torn down.
int reply_read_loop();

// First failing status in the response store: 0 when none.
int status_scan();

// "0x003C" -> 60; characters that are not hex digits count as 0.
int hex_code_value(const char* text);

// Sends the script request head for a body of the given length.
void send_script_request_head(int body_length);

// The collected text of the chunks of one reply.
struct ResponseStore {
    char text[RESPONSE_STORE_SIZE + 1];
    size_t used;
};
extern ResponseStore response_store;

void response_store_reset();
// Appends chunk data; data that would pass the end of the store first
// empties it (with the rollover message).
void response_store_append(const char* data, size_t length);
bool response_store_contains(const char* text);

// First failing status code in text[0, length): 0 when none.
int status_scan_text(const char* text, size_t length);

// The chunk data found in one read of a reply.
struct ChunkPiece {
    size_t offset;        // where the data starts in the read
    size_t length;        // bytes of data to store
    size_t shown_length;  // bytes to show
};

struct ReplyRead {
    bool reply_head = false;  // the read holds the reply head: skipped
    // Length of the status line of a reply head other than "200 OK": the
    // processor refused the request (0 when it did not).
    size_t refused_status_length = 0;
    std::vector<ChunkPiece> pieces;
};

// Takes one read of count bytes apart. owed carries the bytes of a chunk
// that continued past the end of the previous read; it is updated for the
// next read. Every piece lies inside the bytes read.
ReplyRead parse_reply_read(const char* text, size_t count, size_t& owed);
