// The rules for attribute values that the grammar alone cannot judge.
#pragma once

constexpr int LOGIN_FIELD_MAX = 48;
constexpr int BOOLEAN_WORD_MAX = 5;
constexpr int HOTKEY_COMMAS_MAX = 4;

// Begins (after white space) with a decimal number as "%lf" reads one:
// optional sign, digits with an optional decimal point. The rest is ignored.
bool is_number(const char* value);
// Begins (after white space) with an optional sign and decimal digits.
bool is_integer(const char* value);
// "r", "w", "read" or "write" in any case.
bool is_mode(const char* value);
// "w" or "write" in any case: a block that changes settings.
bool is_write_mode(const char* value);
// Longer than a boolean word can be.
bool boolean_too_long(const char* value);
// "0", "f", "n", "no", "false", "1", "t", "y", "yes", "true" in any case.
bool is_boolean(const char* value);
// At most five keys, that is at most four commas.
bool hotkey_count_ok(const char* value);

// The message for a LOGIN user name or password that breaks its limits,
// nullptr when it is fine.
const char* user_name_problem(const char* value);
const char* password_problem(const char* value);
