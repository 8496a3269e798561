// %name% placeholders of a script replaced by the values given with -t,
// written to a working copy that the run then reads instead of the script.
#pragma once

constexpr int MAX_VARIABLES = 25;
constexpr int MAX_VARIABLE_NAME = 48;
constexpr int MAX_VARIABLE_VALUE = 48;
constexpr int MAX_PAIR_LIST = 2400;

struct VariableTable {
    char* var_names[MAX_VARIABLES] = {};
    char* var_values[MAX_VARIABLES] = {};
    int var_count = 0;
};

extern VariableTable variables;

// An empty table.
void reset_variables();

// Parses "name1=value1,name2=value2..." into the table. Prints its own limit
// messages; false when the list is rejected.
bool parse_name_value_pairs(const char* pair_list);

// Copies input_file_name to "<server_address>-var.xml" with every placeholder
// replaced. Sets working_copy_name. True when the copy was written to the end.
bool substitute_variables();
