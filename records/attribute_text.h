// A value written into markup as the text of an attribute.
#pragma once

#include <string>
#include <string_view>

// value as the text of an attribute in double quotes: the characters that
// mean markup there (& < > " ') as entity references, tab, line feed and
// carriage return as character references (a reader would turn them into
// blanks), so that whoever reads the markup gets exactly value back and
// nothing of it becomes markup of its own.
std::string attribute_text(std::string_view value);
