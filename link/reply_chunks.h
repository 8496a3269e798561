// The chunked framing of an HTTP reply: one read of a reply taken apart
// into its head and the data of its chunks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The status line of a reply that accepted the request.
constexpr std::string_view REPLY_OK = "HTTP/1.1 200 OK";

// The chunk data found in one read of a reply.
struct ChunkPiece {
    size_t offset;        // where the data starts in the read
    size_t length;        // bytes of data to store
    size_t shown_length;  // bytes to show
};

struct ReplyRead {
    bool reply_head = false;  // the read holds the reply head: skipped
    size_t head_length = 0;   // bytes of the read that belong to the head
    // Length of the status line of a reply head other than "200 OK": the
    // processor refused the request (0 when it did not).
    size_t refused_status_length = 0;
    std::vector<ChunkPiece> pieces;
    // Where a chunk's size line starts that the read's end cut short: the
    // bytes from here on belong in front of the next read (npos: none).
    size_t carry_from = std::string::npos;
};

// Takes one read of count bytes apart. owed carries the bytes of a chunk
// that continued past the end of the previous read; it is updated for the
// next read. Only the first read of a reply can hold the reply head: with
// reply_started (an earlier read of the reply had bytes) the read is all
// chunks, whatever it quotes. Every piece lies inside the bytes read.
ReplyRead parse_reply_read(const char* text, size_t count, size_t& owed, bool reply_started = false);

// Whether text, a reply's first bytes, is a reply head (or the start of
// one) that has not reached its end yet: more must be read before judging.
bool reply_head_unfinished(std::string_view text);

// The leading hexadecimal number of text[pos, count), read like strtoul in
// base 16 (white space and a 0x in front allowed). end gets the position
// after the number, or pos when there is none (value 0). Saturates.
size_t chunk_size_at(const char* text, size_t count, size_t pos, size_t& end);
