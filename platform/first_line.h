// The first line of a file or of standard input, read without waiting for
// ever: a named pipe that no one writes to, or a writer that never ends its
// line, is given up after a time.
#pragma once

#include <string>

enum class FirstLine {
    read,         // line holds the text before the first LF (or the end)
    cannot_open,  // the file cannot be opened
    cannot_read,  // a read failed
    timed_out,    // the time ran out before the line's end
};

// Reads path (nullptr: standard input) up to its first LF or its end, the LF
// left out, into line, taking no byte after the LF from the source (what
// follows on standard input stays there). Waits at most wait_seconds for it
// all (0: no limit); opening a named pipe does not wait for a writer.
FirstLine read_first_line(const char* path, int wait_seconds, std::string& line);
