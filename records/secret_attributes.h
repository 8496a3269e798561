// The attribute names of the command language whose values are secrets.
#pragma once

#include <string_view>

// True for PASSWORD and the other attributes that hold a secret (SNMP trap
// communities, any name ending in PASSWORD), in any case.
bool is_secret_attribute(std::string_view name);

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
