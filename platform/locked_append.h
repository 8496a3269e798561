// Appending one line to a file that several runs share: under an exclusive
// lock, the file is read first and the line goes in one write at its end
// only when the reader says it is not there yet, so concurrent runs neither
// lose nor duplicate a line.
#pragma once

#include <functional>
#include <string>

enum class LockedAppend {
    appended,       // the line went to the end of the file
    already_there,  // the reader found what the line would record
    failed,         // the file could not be opened, locked, read or written
};

// Opens path (or makes it, owner-only on POSIX, never through a link: a
// link that leads to nothing fails), locks it, reads it whole and hands the
// text to already_there; when that answers false, appends line in one write.
LockedAppend append_line_once(const char* path, const std::string& line,
                              const std::function<bool(const std::string& content)>& already_there);
