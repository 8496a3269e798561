#include "link/status_value.h"

namespace {

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

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool StatusDigits::take(char c)
{
    int digit = hex_digit(c);
    if (digit < 0)
        return false;
    ++count_;
    if (value_ > (UINT32_MAX >> 4))
        too_large_ = true;
    value_ = (value_ << 4) | static_cast<uint32_t>(digit);
    return true;
}

uint32_t status_value(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && is_space(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    if (at + 2 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
        hex_digit(text[at + 2]) >= 0)
        at += 2;
    StatusDigits digits;
    while (at < text.size() && digits.take(text[at]))
        ++at;
    if (!digits.fits())
        return STATUS_TOO_LARGE;
    return negative ? 0u - digits.value() : digits.value();
}
