// Received images written so that a failure never leaves a damaged file and
// never removes anything the program did not make.
#pragma once

#include <cstddef>
#include <string>

// Writes length bytes of data to name. A regular file, or a name where
// nothing is yet, gets the bytes through a new file beside it, renamed into
// place once it holds them all: a write that fails (a full disk) leaves what
// was there before, and only that new file goes. Anything else (a disk or
// another device) is written in place and never removed. A link is followed
// to the file it leads to.
enum class [[nodiscard]] WholeFile {
    written,
    not_opened,   // nothing could be opened or made there: nothing written
    not_written,  // the bytes did not all arrive (reason says why)
};
WholeFile write_file_whole(const char* name, const unsigned char* data, size_t length, std::string& reason);
