// Comparisons of the command language's words, whose case does not count
// (ASCII letters only: the language's names and keywords are ASCII).
#pragma once

#include <string_view>

bool equal_ignoring_case(std::string_view a, std::string_view b);
