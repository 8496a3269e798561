// The name and value pairs the command line gave with -t, for the
// placeholders of the script. The table owns its texts.
#pragma once

constexpr int MAX_VARIABLES = 25;
constexpr int MAX_VARIABLE_NAME = 48;
constexpr int MAX_VARIABLE_VALUE = 48;
constexpr int MAX_PAIR_LIST = 2400;

struct VariableTable {
    VariableTable() = default;
    ~VariableTable() { clear(); }
    VariableTable(const VariableTable&) = delete;
    VariableTable& operator=(const VariableTable&) = delete;
    VariableTable(VariableTable&& other) noexcept { swap(other); }
    VariableTable& operator=(VariableTable&& other) noexcept
    {
        clear();
        swap(other);
        return *this;
    }
    void swap(VariableTable& other) noexcept;

    // An empty table.
    void clear();

    char* var_names[MAX_VARIABLES] = {};
    char* var_values[MAX_VARIABLES] = {};
    int var_count = 0;
};
