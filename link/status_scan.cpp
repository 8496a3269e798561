#include "link/status_scan.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "link/stream_exchange.h"
#include "records/text_tests.h"

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
    } else if (!is_c_space(c)) {
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
