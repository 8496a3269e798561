// The attribute names of the command language whose values are secrets.
#pragma once

#include <string_view>

// True for the names that hold a secret, in any case: a name ending in
// PASSWORD (PASSWORD, USER_PASSWORD, NEW_PASSWORD, ...), an SNMP trap
// community (a name ending in TRAPCOMMUNITY, or COMMUNITY). A name ending in
// PASSWORD that has MIN, MAX, MINIMUM or MAXIMUM as a word before its last
// (MIN_PASSWORD: the shortest password the processor takes) is a setting
// about passwords, not one, and is no secret. The element or attribute so
// named holds the secret; the VALUE of an element so named too.
bool is_secret_attribute(std::string_view name);

// True for VALUE, in any case: the attribute that holds the secret of an
// element whose own name is a secret one (an SNMP trap community).
bool is_value_attribute(std::string_view name);

// What a secret shows as wherever the run writes it down.
inline constexpr std::string_view MASKED_SECRET = "********";

// The text with the value of every secret attribute written in it
// (NAME="value", NAME='value' or NAME=value) masked: for messages that
// quote a script's line.
std::string mask_secret_attributes(std::string_view text);
