// Text into a fixed-size field: never more than the field holds.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies at most max characters of text into a field of field_size bytes
// (cut to field_size - 1) and terminates it.
void copy_bounded(char* field, size_t field_size, const char* text, size_t max = SIZE_MAX);

template <size_t N>
void copy_bounded(char (&field)[N], const char* text)
{
    copy_bounded(field, N, text);
}
