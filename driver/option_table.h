// The options of the command line, in one table: the parser takes from it
// which words are options and which take a value, the usage text is printed
// from it, and a test holds the README, the manual page, the completion and
// the fuzzing dictionary to it. Adding an option: a row here, its effect in
// parse_command_line, and the four documents the test names.
#pragma once

#include <cstddef>

struct OptionSpec {
    char letter;                 // -x or /x, any case
    const char* value_name;      // the value in the next argument; nullptr: none
    bool never_last;             // may not be the last argument
    const char* usage_synopsis;  // its words on the usage line; nullptr: not in the usage text
    const char* usage_lines;     // its lines under "Where:", as printed
};

// In the order of the usage text; the options it leaves out come last.
extern const OptionSpec option_table[];
extern const size_t option_count;

// The row of an option word ("-x" or "/x", any case); nullptr when the
// word is not one.
const OptionSpec* find_option(const char* word);
