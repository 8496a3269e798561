// %name% placeholders of a script replaced by the values given with -t,
// written to a working copy that the run then reads instead of the script.
#pragma once

#include <cstddef>
#include <string>

#include "records/variable_table.h"

struct RunContext;

// Parses "name1=value1,name2=value2..." into the run's table. Prints its
// own limit messages; false when the list is rejected.
bool parse_name_value_pairs(RunContext& run, const char* pair_list);

// What became of the working copy.
enum class [[nodiscard]] CopyOutcome {
    written,      // the copy holds the whole script, every placeholder replaced
    not_written,  // no usable copy: the run reads the script as it is
    refused,      // placeholders without a value: the run must not go on
};

// Copies input_file_name to "<server_address>-var.xml" with every placeholder
// replaced. Sets working_copy_name. A placeholder whose name has no value is
// never dropped silently: every such name is printed and the run refused.
CopyOutcome substitute_variables(RunContext& run);

// Names of the %name% placeholders in text (names of letters, digits, '_',
// '-' and '.', at most MAX_VARIABLE_NAME long), each once, in the order of
// their first place, as "%A%, %B%"; empty when there is none. Used when a
// script is run without -t. Continues across calls: scan the text in pieces,
// then take the list.
class PlaceholderScan {
public:
    void scan(const char* text, size_t length);
    const std::string& names() const { return names_; }

private:
    std::string names_;
    std::string current_;
    bool inside_ = false;
    int count_ = 0;
};
