#include "link/http_exchange.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "records/log_output.h"
#include "records/run_report.h"
#include "records/run_settings.h"
#include "records/results.h"
#include "records/run_state.h"
#include "link/connection.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "platform/winsock.h"
#include "records/firmware_reference.h"

char client_host_name[CLIENT_HOST_NAME_SIZE];
ResponseStore response_store;
HttpReply http_reply;

namespace {

constexpr int PROBE_BUFFER_SIZE = 2048;
constexpr std::string_view REPLY_OK = "HTTP/1.1 200 OK";
constexpr std::string_view FLASH_DONE = "Firmware flash completed successfully";


bool holds(std::string_view text, std::string_view needle)
{
    return text.find(needle) != std::string_view::npos;
}

// The text up to its first zero byte, as "%s" would show it.
size_t shown_length(const char* text, size_t length)
{
    return strnlen(text, length);
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The leading hexadecimal number of text[pos, count), read like strtoul in
// base 16 (white space and a 0x in front allowed). end gets the position
// after the number, or pos when there is none (value 0). Saturates.
size_t chunk_size_at(const char* text, size_t count, size_t pos, size_t& end)
{
    size_t at = pos;
    while (at < count && is_blank(text[at]))
        ++at;
    if (at + 2 < count && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
        hex_digit(text[at + 2]) >= 0)
        at += 2;
    size_t value = 0;
    size_t first_digit = at;
    for (; at < count && hex_digit(text[at]) >= 0; ++at)
        value = value > (SIZE_MAX >> 4) ? SIZE_MAX : (value << 4) | static_cast<size_t>(hex_digit(text[at]));
    end = at == first_digit ? pos : at;
    return value;
}

bool line_end_at(const char* text, size_t count, size_t pos)
{
    return pos + 2 <= count && text[pos] == '\r' && text[pos + 1] == '\n';
}

// The bytes at pos are a line end, or the part of one that fits in the read.
bool line_end_or_read_end(const char* text, size_t count, size_t pos)
{
    if (pos >= count)
        return true;
    if (text[pos] != '\r')
        return false;
    return pos + 1 >= count || text[pos + 1] == '\n';
}

void show_and_store(const char* data, const ChunkPiece& piece, int count)
{
    std::string_view shown(data, piece.shown_length);
    if (settings.verbose) {
        write_log_then_console("\r\n\n", 3);
        if (holds(shown, "</MOXCL>"))
            log_info("Receiving (%d):\r\n\n", count);
    }
    write_both(shown.data(), shown.size());
    response_store_append(data, piece.length);
}

// A chunk size line is a few hex digits; longer text is no size line.
constexpr size_t SIZE_LINE_CARRY_MAX = 64;
// A reply head longer than this is judged as it stands.
constexpr size_t REPLY_HEAD_MAX = 8192;

}  // namespace

bool reply_head_unfinished(std::string_view text)
{
    constexpr std::string_view HTTP = "HTTP/";
    bool head = text.size() < HTTP.size() ? HTTP.starts_with(text) : text.starts_with(HTTP);
    return head && text.find("\r\n\r\n") == std::string_view::npos && text.size() < REPLY_HEAD_MAX;
}

ReplyRead parse_reply_read(const char* text, size_t count, size_t& owed, bool reply_started)
{
    ReplyRead read;
    size_t pos = 0;
    if (owed > 0) {
        size_t take = std::min(owed, count);
        read.pieces.push_back({0, take, shown_length(text, take)});
        owed -= take;
        pos = take;
        if (owed > 0)
            return read;
        pos = std::min(count, pos + (line_end_at(text, count, pos) ? 2 : 0));
        if (pos >= count)
            return read;
    } else if (reply_started) {
        // Past the first read nothing is a reply head: the read is chunks.
    } else if (std::string_view reply(text, count); reply.starts_with("HTTP/")) {
        // A reply head. With any status but 200 nothing of the script was
        // carried out, whatever follows.
        size_t line_end = reply.find("\r\n");
        std::string_view status_line = reply.substr(0, line_end);
        size_t code = status_line.find(' ');
        if (code == std::string_view::npos || status_line.substr(code + 1, 3) != "200") {
            read.refused_status_length = status_line.size();
            return read;
        }
        // The head itself is neither shown nor stored; chunks that came in
        // the same read after it are.
        read.reply_head = true;
        size_t body = reply.find("\r\n\r\n");
        read.head_length = body == std::string_view::npos ? count : body + 4;
        if (body == std::string_view::npos)
            return read;
        pos = body + 4;
    } else if (size_t ok = std::string_view(text, count).find(REPLY_OK); ok != std::string_view::npos) {
        read.reply_head = true;
        size_t body = std::string_view(text, count).find("\r\n\r\n", ok);
        read.head_length = body == std::string_view::npos ? count : body + 4;
        if (body == std::string_view::npos)
            return read;
        pos = body + 4;
    }
    while (pos < count) {
        size_t end = pos;
        size_t size = chunk_size_at(text, count, pos, end);
        // The read ends inside the size line (its digits, or before its
        // line end): the line is read again whole with the next read.
        if (end != pos && (end == count || (end + 1 == count && text[end] == '\r')) &&
            count - pos <= SIZE_LINE_CARRY_MAX) {
            read.carry_from = pos;
            break;
        }
        if (size == 0)
            break;
        if (line_end_at(text, count, end)) {
            size_t data = end + 2;
            size_t available = count - data;
            if (size <= available && line_end_or_read_end(text, count, data + size)) {
                read.pieces.push_back({data, size, shown_length(text + data, size)});
                pos = std::min(count, data + size + 2);
                continue;
            }
            if (size > available) {
                read.pieces.push_back({data, available, shown_length(text + data, available)});
                owed = size - available;
                break;
            }
        }
        // No chunk framing around the data: it starts right after the number.
        size_t available = count - end;
        read.pieces.push_back({end, std::min(size, available), shown_length(text + end, available)});
        break;
    }
    return read;
}

void response_store_reset()
{
    // Only the bytes used are cleared: the rest is still zero, and a run
    // whose replies are small never touches the store's other pages.
    std::memset(response_store.text, 0, std::min(response_store.used, sizeof response_store.text));
    response_store.used = 0;
}

void response_store_append(const char* data, size_t length)
{
    length = std::min(length, static_cast<size_t>(RESPONSE_STORE_SIZE));
    http_reply.status_scan.feed(data, length);
    report_reply_bytes(data, length);
    if (response_store.used + length > static_cast<size_t>(RESPONSE_STORE_SIZE)) {
        log_info("Response has exceeded the length of the response buffer causing a rollover\r\n");
        response_store_reset();
        ++response_store.rollovers;
    }
    std::memcpy(response_store.text + response_store.used, data, length);
    response_store.used += length;
}

bool response_store_contains(const char* text)
{
    return holds(std::string_view(response_store.text, response_store.used), text);
}

bool StoreSearch::found_in_new_text()
{
    if (rollovers_ != response_store.rollovers || searched_ > response_store.used) {
        rollovers_ = response_store.rollovers;
        searched_ = 0;
    }
    // An occurrence may begin up to one byte short of the text's length
    // before the new bytes.
    size_t overlap = text_.empty() ? 0 : text_.size() - 1;
    size_t from = searched_ > overlap ? searched_ - overlap : 0;
    searched_ = response_store.used;
    std::string_view fresh(response_store.text + from, response_store.used - from);
    return fresh.find(text_) != std::string_view::npos;
}

void reply_collect_start()
{
    response_store_reset();
    response_store.rollovers = 0;
    http_reply.status_scan = ReplyStatusScan{};
}

int hex_code_value(const char* text)
{
    unsigned value = 0;
    for (; *text != '\0'; ++text) {
        int digit = hex_digit(*text);
        value = value * 16 + static_cast<unsigned>(digit < 0 ? 0 : digit);
    }
    return static_cast<int>(value);
}

// A status code is "0x" and four hex digits: 'STATUS="0x003C"' is 15
// characters, and the next STATUS is looked for after them.
constexpr size_t STATUS_CODE_LENGTH = 6;
constexpr size_t STATUS_ATTRIBUTE_LENGTH = std::string_view("STATUS=\"0x0000\"").size();

StreamMatch::StreamMatch(const char* text) : text_(text), length_(std::min(std::strlen(text), LONGEST))
{
    // fallback_[n]: the longest proper prefix of text[0, n) that also ends it.
    for (size_t n = 2; n <= length_; ++n) {
        size_t k = fallback_[n - 1];
        while (k > 0 && text_[n - 1] != text_[k])
            k = fallback_[k];
        if (text_[n - 1] == text_[k])
            ++k;
        fallback_[n] = static_cast<unsigned char>(k);
    }
}

bool StreamMatch::feed(char c)
{
    if (matched_ == length_)
        matched_ = fallback_[matched_];
    while (matched_ > 0 && text_[matched_] != c)
        matched_ = fallback_[matched_];
    if (text_[matched_] == c)
        ++matched_;
    return matched_ == length_;
}

void ReplyStatusScan::feed(const char* data, size_t length)
{
    for (size_t i = 0; i < length && !decided_; ++i)
        take(data[i]);
}

int ReplyStatusScan::result() const
{
    if (code_length_ == STATUS_CODE_LENGTH) {
        // The reply ended in the digits of a long code: judged as it stands.
        ReplyStatusScan ended = *this;
        ended.code_complete();
        return ended.result();
    }
    if (decided_)
        return failure_;
    if (in_tag_ && tag_failed_ && tag_message_)
        return tag_failure_;
    return 0;
}

void ReplyStatusScan::take(char c)
{
    if (code_length_ == STATUS_CODE_LENGTH) {
        // Four digits so far: the code ends at the first byte that is none.
        if (hex_digit(c) >= 0) {
            take_code_digit(c);
            std::memmove(code_ + 2, code_ + 3, 3);
            code_[5] = c;
        } else {
            code_complete();
        }
    } else if (code_length_ > 0) {
        code_[code_length_++] = c;
        if (code_length_ == STATUS_CODE_LENGTH) {
            code_digits_ = 0;
            code_value_ = 0;
            for (size_t i = 2; i < STATUS_CODE_LENGTH; ++i) {
                if (hex_digit(code_[i]) < 0) {
                    code_complete();
                    break;
                }
                take_code_digit(code_[i]);
            }
        }
    }

    // Where the byte stands: outside tags, in a tag, in a quoted value. A
    // '<' met inside a tag starts the next one: the unclosed tag ends there.
    if (!in_tag_ || (quote_ == 0 && c == '<')) {
        if (in_tag_)
            tag_ends();
        if (c == '<') {
            in_tag_ = true;
            quote_ = 0;
            value_next_ = false;
            tag_message_ = false;
            tag_failed_ = false;
            tag_failure_ = 0;
            message_.reset();
        }
    } else if (quote_ != 0) {
        if (c == quote_)
            quote_ = 0;
    } else if (c == '>') {
        tag_ends();
    } else if ((c == '"' || c == '\'') && value_next_) {
        quote_ = c;
        value_next_ = false;
    } else if (c == '=') {
        value_next_ = true;
    } else if (!is_blank(c)) {
        value_next_ = false;
    }
    if (in_tag_ && message_.feed(c))
        tag_message_ = true;

    if (status_.feed(c)) {
        size_t start = position_ + 1 - std::strlen("STATUS=\"0x");
        if (start >= next_status_) {
            // The code is the six characters from "0x" on; the next STATUS
            // is looked for past its closing quote.
            next_status_ = start + STATUS_ATTRIBUTE_LENGTH;
            std::memcpy(code_, "0x", 2);
            code_length_ = 2;
            code_in_tag_ = in_tag_;
            code_tag_ended_ = false;
            code_tag_message_ = false;
        }
    }
    ++position_;
}

void ReplyStatusScan::tag_ends()
{
    if (code_length_ > 0 && code_in_tag_) {
        // The tag closed inside the code text: what it held is kept for
        // the verdict on the code.
        code_tag_ended_ = true;
        code_tag_message_ = tag_message_;
    }
    if (tag_failed_ && tag_message_) {
        decided_ = true;
        failure_ = tag_failure_;
    }
    in_tag_ = false;
    quote_ = 0;
}

void ReplyStatusScan::take_code_digit(char c)
{
    ++code_digits_;
    // Past STATUS_MAX the value stays just above it: too large is too large.
    code_value_ = std::min(code_value_ * 16 + static_cast<unsigned>(hex_digit(c)), STATUS_MAX + 1);
}

void ReplyStatusScan::code_complete()
{
    code_length_ = 0;
    if (decided_ || !code_in_tag_)
        return;
    int value = 0;
    if (code_digits_ > 4 && code_value_ > 0xFFFF) {
        // More than four digits, not all of the extra ones zeros.
        value = static_cast<int>(code_value_ > STATUS_MAX ? STATUS_OUT_OF_RANGE : static_cast<unsigned>(code_value_));
    } else {
        if (std::strcmp(code_, "0x0000") == 0 || std::strcmp(code_, "0x003C") == 0)
            return;
        value = hex_code_value(code_);
    }
    if (code_tag_ended_) {
        if (code_tag_message_) {
            decided_ = true;
            failure_ = value;
        }
    } else if (!tag_failed_) {
        tag_failed_ = true;
        tag_failure_ = value;
    }
}

int status_scan_text(const char* text, size_t length)
{
    ReplyStatusScan scan;
    scan.feed(text, length);
    return scan.result();
}

int status_scan()
{
    return http_reply.status_scan.result();
}

LinkResult http_chunk_read(char* buffer, int size, int& count)
{
    std::memset(buffer, 0, static_cast<size_t>(size));
    count = 0;
    if (run_state.checking_pass)
        return LinkResult::ok;
    if (!run_going())
        return LinkResult::skipped;
    int result = tls_read(buffer, size);
    if (result < 0)
        return report_read_failure();
    count = result;
    if (count == 0)
        return LinkResult::ok;
    // Writes may split a reply anywhere: what an earlier read left unfinished
    // (the head, a chunk's size line) goes in front of this one.
    std::string joined;
    const char* text = buffer;
    size_t length = static_cast<size_t>(count);
    if (!http_reply.carry.empty()) {
        joined = std::move(http_reply.carry);
        http_reply.carry.clear();
        joined.append(buffer, length);
        text = joined.data();
        length = joined.size();
    }
    if (!http_reply.started && reply_head_unfinished(std::string_view(text, length))) {
        http_reply.carry.assign(text, length);
        return LinkResult::ok;
    }
    ReplyRead read = parse_reply_read(text, length, http_reply.chunk_bytes_owed, http_reply.started);
    http_reply.started = true;
    if (length > read.head_length)
        http_reply.body_seen = true;
    if (read.refused_status_length > 0) {
        log_error("The MOX refused the request: %.*s\r\n", static_cast<int>(read.refused_status_length), text);
        record_failure(RunCode::refused);
        return LinkResult::refused;
    }
    if (read.carry_from < length)
        http_reply.carry.assign(text + read.carry_from, length - read.carry_from);
    for (const ChunkPiece& piece : read.pieces)
        show_and_store(text + piece.offset, piece, count);
    return LinkResult::ok;
}

bool reply_cut_inside_chunk()
{
    if (http_reply.chunk_bytes_owed > 0)
        return true;
    // What is carried after the head is a size line; one of size 0 is the
    // last chunk.
    size_t end = 0;
    return http_reply.started && !http_reply.carry.empty() &&
           chunk_size_at(http_reply.carry.data(), http_reply.carry.size(), 0, end) > 0;
}

void reset_http_reply()
{
    reply_collect_start();
    http_reply.chunk_bytes_owed = 0;
    http_reply.started = false;
    http_reply.body_seen = false;
    http_reply.carry.clear();
}

Flow reply_read_loop(bool firmware_upload)
{
    if (settings.verbose)
        std::printf("\n----- Responses -----\n");
    reset_http_reply();
    StoreSearch flash_done(FLASH_DONE);
    long long total = 0;
    for (;;) {
        std::memset(transfer_buffer, 0, sizeof transfer_buffer);
        int count = 0;
        // The chunk read, or the limit, has set the run status.
        if (http_chunk_read(transfer_buffer, TRANSFER_BUFFER_SIZE, count) != LinkResult::ok ||
            !reply_within_limit(total, count)) {
            connection_teardown();
            return Flow::closing_report;
        }
        if (firmware_upload && flash_done.found_in_new_text())
            return Flow::go_on;
        if (count == 0)
            break;
    }
    if (firmware_upload) {
        record_failure(RunCode::flash_unconfirmed);
    } else if (!http_reply.body_seen) {
        // Closed with no reply, or with its head alone: nothing tells that
        // the script was carried out, so the run cannot pass.
        log_error("The MOX closed the connection without replying to the script.\r\n");
        record_failure(RunCode::read_failure);
    } else if (reply_cut_inside_chunk()) {
        // Cut inside a chunk: what the rest would have said is unknown.
        log_error("The MOX closed the connection in the middle of its reply.\r\n");
        record_failure(RunCode::read_failure);
    }
    return Flow::go_on;
}

std::string script_request_head(int body_length)
{
    return format_text("POST /moxcl HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\nConnection: Close\r\nContent-length: %d\r\n\r\n",
                       client_host_name, body_length);
}

Flow generation_probe(ProcessorGeneration& generation)
{
    generation = ProcessorGeneration::stream;
    char reply[PROBE_BUFFER_SIZE];
    std::memset(reply, 0, sizeof reply);
    if (run_state.checking_pass)
        return Flow::go_on;
    if (settings.verbose)
        std::printf("quorvex: Start detecting Vyo2/Vyo3\n");
    if (SIO_connect() == Flow::end_now)
        return Flow::end_now;
    if (gethostname(client_host_name, sizeof client_host_name) != 0)
        std::snprintf(client_host_name, sizeof client_host_name, "localhost");
    client_host_name[sizeof client_host_name - 1] = '\0';

    char request[PROBE_BUFFER_SIZE];
    // The header declares 30 body bytes while 31 follow: the processors
    // expect the probe exactly like this.
    std::snprintf(request, sizeof request,
                  "POST /moxcl HTTP/1.1\r\nHOST: %s\r\nContent-length: 30\r\n\r\n<MOXCL VERSION=\"2.0\"></MOXCL>\r\n",
                  client_host_name);
    // A failed send shows as the read failure that follows.
    static_cast<void>(plain_send(request));

    int result = tls_read(reply, sizeof reply);
    if (result <= 0) {
        static_cast<void>(report_read_failure());  // the probe's verdict says it
        connection_teardown();
        generation = ProcessorGeneration::probe_read_failed;
        return Flow::go_on;
    }
    // A reply head split across writes is read on to its end (within the
    // buffer) before it is judged; an older processor's answer, which is no
    // HTTP at all, is judged at once.
    while (!holds(std::string_view(reply, static_cast<size_t>(result)), REPLY_OK) &&
           reply_head_unfinished(std::string_view(reply, static_cast<size_t>(result))) &&
           static_cast<size_t>(result) < sizeof reply) {
        int more = tls_read(reply + result, static_cast<int>(sizeof reply) - result);
        if (more <= 0)
            break;
        result += more;
    }
    if (holds(std::string_view(reply, static_cast<size_t>(result)), REPLY_OK)) {
        generation = ProcessorGeneration::http;
        if (settings.verbose)
            std::printf("\nquorvex: Vyo 3 or Vyo 4 detected\n\n");
    }
    connection_teardown();
    return Flow::go_on;
}
