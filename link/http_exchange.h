// Generation probe and HTTP mode: request heads, chunked replies, status scan.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/results.h"

#include "link/transfer_buffers.h"

constexpr int CLIENT_HOST_NAME_SIZE = 256;
extern char client_host_name[CLIENT_HOST_NAME_SIZE];

// Asks the processor on a connection of its own which transport it speaks.
// end_now when that connection cannot be made; otherwise generation gets
// the verdict (probe_read_failed when no answer came).
Flow generation_probe(ProcessorGeneration& generation);

// One read of the reply; count gets the bytes read (0 at the end). ok,
// read_failure, refused (a reply head other than 200), or skipped when the
// run has already failed; the run status records every failure.
LinkResult http_chunk_read(char* buffer, int size, int& count);

// Reads the whole reply into the response store. After a firmware upload
// it stops at the flash confirmation, and a reply without one fails the run
// with 8; otherwise a reply that ends with nothing after its head (or no
// reply at all), or inside a chunk, fails it with 3. On a failed read the connection is torn
// down and the run goes straight to its closing report.
Flow reply_read_loop(bool firmware_upload);

// First failing status of the reply read by reply_read_loop: 0 when none.
int status_scan();

// "0x003C" -> 60; characters that are not hex digits count as 0.
int hex_code_value(const char* text);

// The script request head for a body of the given length.
std::string script_request_head(int body_length);

// The collected text of the chunks of one reply.
struct ResponseStore {
    char text[RESPONSE_STORE_SIZE + 1];
    size_t used;
    unsigned long rollovers;  // times the store was emptied to take more of this reply
};
extern ResponseStore response_store;

// Finds a fixed text (at most 15 bytes) in bytes fed one at a time.
class StreamMatch {
public:
    explicit StreamMatch(const char* text);
    // True when c completes an occurrence of the text.
    bool feed(char c);
    void reset() { matched_ = 0; }

private:
    static constexpr size_t LONGEST = 15;
    const char* text_;
    size_t length_;
    size_t matched_ = 0;
    unsigned char fallback_[LONGEST + 1] = {};  // matched length to go back to on a mismatch
};

// Looks for the first failing status of a reply while its text goes by, so
// the verdict does not depend on what the response store still holds. A
// status counts as failing when its code is neither "0x0000" nor "0x003C"
// and its own tag (from its '<' to the '>' that closes it, quoted values
// minded) holds "MESSAGE=". A code whose four digits go on with more is
// read whole: with leading zeros it is judged by its last four digits,
// otherwise it fails with its value (STATUS_OUT_OF_RANGE when that does not
// fit in 32 bits). Each byte is looked at once.
class ReplyStatusScan {
public:
    void feed(const char* data, size_t length);
    // The first failing status so far, counting a tag the reply left open.
    int result() const;

private:
    void take(char c);
    void tag_ends();
    void code_complete();
    void take_code_digit(char c);

    StreamMatch status_{"STATUS=\"0x"};
    StreamMatch message_{"MESSAGE="};
    size_t position_ = 0;      // bytes taken so far
    size_t next_status_ = 0;   // a STATUS starting before this lies inside the previous code
    bool decided_ = false;
    int failure_ = 0;

    // The tag being read.
    bool in_tag_ = false;
    char quote_ = 0;           // the quote of the value being read, 0 outside values
    bool value_next_ = false;  // after '=': a quote here opens a value
    bool tag_message_ = false;
    bool tag_failed_ = false;  // a failing code of this tag
    int tag_failure_ = 0;      // its value (the first one)

    // The code being collected: "0x" and four more characters; when those
    // are four digits and more digits follow, the last four of them.
    char code_[7] = {};
    size_t code_length_ = 0;   // 0 when none is collected
    size_t code_digits_ = 0;   // digits of the code so far, from its four on
    unsigned long long code_value_ = 0;  // their value, up to STATUS_MAX + 1
    bool code_in_tag_ = false; // its STATUS stands inside a tag
    bool code_tag_ended_ = false;
    bool code_tag_message_ = false;  // MESSAGE= in that tag, when it has ended
};

void response_store_reset();
// Appends chunk data; data that would pass the end of the store first
// empties it (with the rollover message). The status scan sees every byte.
void response_store_append(const char* data, size_t length);
bool response_store_contains(const char* text);
// Looks for text in what the store took since the last call (and in the
// bytes before that an occurrence may begin with), so that a reply is
// searched once, not once per read. A fresh search starts with no bytes
// searched; a rollover starts it again at the store's beginning.
class StoreSearch {
public:
    explicit StoreSearch(std::string_view text) : text_(text) {}
    bool found_in_new_text();

private:
    std::string_view text_;
    size_t searched_ = 0;         // store bytes already searched
    unsigned long rollovers_ = 0; // of the store when they were
};
// The start of a reply: an empty store, no rollover, a fresh status scan.
void reply_collect_start();

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

// Where the reading of one reply stands.
struct HttpReply {
    size_t chunk_bytes_owed = 0;  // of a chunk that ran past the end of its read
    bool started = false;         // a read had bytes: nothing more is the reply head
    bool body_seen = false;       // a byte came after the reply head
    ReplyStatusScan status_scan;  // of every byte of the reply
    // Bytes of an unfinished reply head or chunk size line, read again in
    // front of the next read.
    std::string carry;
};

// Whether text, a reply's first bytes, is a reply head (or the start of
// one) that has not reached its end yet: more must be read before judging.
bool reply_head_unfinished(std::string_view text);
extern HttpReply http_reply;

// The reply, ending here, had more of a chunk to come: data owed, or a
// size line cut short that announced a chunk.
bool reply_cut_inside_chunk();

// A new reply: empty store, fresh scan, no chunk owed.
void reset_http_reply();
