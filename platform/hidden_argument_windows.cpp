// The Windows side (hidden_argument.cpp is the POSIX one). The process list
// reads the command line from the process's own block, which main's
// arguments were parsed from but are not part of: it is overwritten there
// (GetCommandLineW gives that block's text; GetCommandLineA a copy of it).
#ifdef _WIN32

#include "platform/hidden_argument.h"

#include <cstring>
#include <string>

#include "platform/winsock.h"

namespace {

template <typename Char>
bool word_edge(Char c)
{
    return c == Char(' ') || c == Char('\t') || c == Char('"') || c == Char('\0');
}

// Every place where word stands in line as a word of its own (between
// blanks, tabs, quotes or the ends), overwritten with 'x'.
template <typename Char>
void overwrite_word(Char* line, const std::basic_string<Char>& word)
{
    if (line == nullptr || word.empty())
        return;
    std::basic_string<Char> text(line);
    for (size_t at = text.find(word); at != std::basic_string<Char>::npos; at = text.find(word, at + 1)) {
        size_t end = at + word.size();
        if ((at == 0 || word_edge(text[at - 1])) && word_edge(end < text.size() ? text[end] : Char('\0'))) {
            for (size_t i = at; i < end; ++i)
                line[i] = Char('x');
        }
    }
}

}  // namespace

void hide_argument(char* argument)
{
    std::string narrow(argument);
    if (!narrow.empty()) {
        int length = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
        std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
        if (length > 0)
            MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), wide.data(), length);
        overwrite_word(GetCommandLineW(), wide);
        overwrite_word(GetCommandLineA(), narrow);
    }
    for (volatile char* c = argument; *c != '\0'; ++c)
        *c = 'x';
}

#endif
