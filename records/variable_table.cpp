#include "records/variable_table.h"

#include <cstdlib>
#include <utility>

void VariableTable::clear()
{
    for (int slot = 0; slot < MAX_VARIABLES; ++slot) {
        std::free(var_names[slot]);
        std::free(var_values[slot]);
        var_names[slot] = nullptr;
        var_values[slot] = nullptr;
    }
    var_count = 0;
}

void VariableTable::swap(VariableTable& other) noexcept
{
    std::swap(var_names, other.var_names);
    std::swap(var_values, other.var_values);
    std::swap(var_count, other.var_count);
}
