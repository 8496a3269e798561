// Small tests on characters and text that several layers make alike.
#pragma once

#include <cctype>
#include <cstddef>
#include <string_view>

// The value of a hexadecimal digit, -1 for any other character.
constexpr int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// White space as the C library's isspace sees it in the "C" locale (what
// strtoul skips before a number).
constexpr bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// White space between the parts of a tag: blank, tab, carriage return,
// line feed.
constexpr bool is_markup_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr bool holds(std::string_view text, std::string_view needle)
{
    return text.find(needle) != std::string_view::npos;
}

// The capital of an ASCII letter; any other byte as it is (what toupper
// does in the "C" locale, without its call).
constexpr char ascii_upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// text equals upper (written in capitals) in any case.
constexpr bool equal_ignoring_case(std::string_view text, std::string_view upper)
{
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (ascii_upper(text[i]) != upper[i])
            return false;
    return true;
}
