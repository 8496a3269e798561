#include "records/bounded_copy.h"

#include <cstring>

void copy_bounded(char* field, size_t field_size, const char* text, size_t max)
{
    size_t length = strnlen(text, max < field_size ? max : field_size - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}
