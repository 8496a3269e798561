// The verdict on an HTTP reply: its first failing status, found while its
// bytes go by.
#pragma once

#include <cstddef>

// "0x003C" -> 60; characters that are not hex digits count as 0.
int hex_code_value(const char* text);

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

// First failing status code in text[0, length): 0 when none.
int status_scan_text(const char* text, size_t length);
