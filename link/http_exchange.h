// Generation probe and HTTP mode: request heads, chunked replies, status scan.
#pragma once

#include <cstddef>

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
