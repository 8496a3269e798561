#include "link/reply_chunks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "records/text_tests.h"

namespace {

// The text up to its first zero byte, as "%s" would show it.
size_t shown_length(const char* text, size_t length)
{
    return strnlen(text, length);
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

// A chunk size line is a few hex digits; longer text is no size line.
constexpr size_t SIZE_LINE_CARRY_MAX = 64;
// A reply head longer than this is judged as it stands.
constexpr size_t REPLY_HEAD_MAX = 8192;

// The read holds a reply head from 'from' on: marks it, and sets body to
// where the chunks after it start. False when the head runs to the read's
// end.
bool skip_reply_head(ReplyRead& read, std::string_view text, size_t from, size_t& body)
{
    read.reply_head = true;
    size_t end = text.find("\r\n\r\n", from);
    read.head_length = end == std::string_view::npos ? text.size() : end + 4;
    if (end == std::string_view::npos)
        return false;
    body = end + 4;
    return true;
}

}  // namespace

size_t chunk_size_at(const char* text, size_t count, size_t pos, size_t& end)
{
    size_t at = pos;
    while (at < count && is_c_space(text[at]))
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
        if (!skip_reply_head(read, reply, 0, pos))
            return read;
    } else if (size_t ok = std::string_view(text, count).find(REPLY_OK); ok != std::string_view::npos) {
        if (!skip_reply_head(read, std::string_view(text, count), ok, pos))
            return read;
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
