// The attribute names of the command language whose values are secrets.
#pragma once

#include <string_view>

#include "records/text_tests.h"

// is_secret_attribute without its quick test on the last letter.
bool is_secret_name(std::string_view name);

// True for the names that hold a secret, in any case: a name ending in
// PASSWORD (PASSWORD, USER_PASSWORD, NEW_PASSWORD, ...), an SNMP trap
// community (a name ending in TRAPCOMMUNITY, or COMMUNITY). A name ending in
// PASSWORD that has MIN, MAX, MINIMUM or MAXIMUM as a word before its last
// (MIN_PASSWORD: the shortest password the processor takes) is a setting
// about passwords, not one, and is no secret. The element or attribute so
// named holds the secret; the VALUE of an element so named too.
inline bool is_secret_attribute(std::string_view name)
{
    // The lexer asks this of every name in a script: most end in neither
    // letter that ends the names above (PASSWORD, COMMUNITY).
    char last = name.empty() ? '\0' : ascii_upper(name.back());
    return (last == 'D' || last == 'Y') && is_secret_name(name);
}

// True for VALUE, in any case: the attribute that holds the secret of an
// element whose own name is a secret one (an SNMP trap community).
bool is_value_attribute(std::string_view name);

// Where the value of a secret stands in a script's text, as offsets from
// its start (CR LF read as one line feed): from begin up to end.
struct SecretSpan {
    unsigned long long begin;
    unsigned long long end;
};

// What a secret shows as wherever the run writes it down.
inline constexpr std::string_view MASKED_SECRET = "********";

// The text with the value of every secret attribute written in it
// (NAME="value", NAME='value' or NAME=value) masked: for messages that
// quote a script's line.
std::string mask_secret_attributes(std::string_view text);
