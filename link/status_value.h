// The value of a STATUS attribute a processor sends ("0x" and hexadecimal
// digits), read the same way in both transports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A status too large for 32 bits is still a failing status: the run
// records it as this value, so it ends with exit status 1.
constexpr uint32_t STATUS_TOO_LARGE = 1;

// The digits of a status, taken one at a time (a reply may cut a status
// between two reads).
class StatusDigits {
public:
    // Takes c when it is a hexadecimal digit; false, with nothing taken,
    // when it is not.
    bool take(char c);
    size_t count() const { return count_; }
    bool fits() const { return !too_large_; }
    // The value of the digits taken; 0 when it does not fit.
    uint32_t value() const { return too_large_ ? 0 : value_; }
    // The status the run records: the value, or STATUS_TOO_LARGE.
    uint32_t status() const { return too_large_ ? STATUS_TOO_LARGE : value_; }

private:
    uint32_t value_ = 0;
    bool too_large_ = false;
    size_t count_ = 0;
};

// The status written in text, the characters a "%x" conversion takes after
// 'STATUS="0x': blanks, a sign, a second "0x", the digits. A negative value
// wraps as such a conversion stores it; one too large for 32 bits gives
// STATUS_TOO_LARGE.
uint32_t status_value(std::string_view text);
