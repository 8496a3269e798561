// Reading a script the way a text-mode stream delivers it on the system the
// scripts come from: every CR LF pair of the file arrives as a single LF, a
// CR that is not followed by LF stays as it is.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Reads up to max bytes (max >= 1) into buf with CR LF folded to LF.
// Returns the byte count, 0 at end of file; sets the stream's error flag and
// returns 0 when the read fails (check with ferror).
size_t text_read(FILE* stream, char* buf, size_t max);

// fgets with the same folding: reads at most size - 1 bytes, stops after a
// line feed, always terminates. Returns buf, or nullptr when nothing was read.
char* text_gets(char* buf, int size, FILE* stream);

// One whole line, however long, with the same folding: line receives it with
// its line feed when one ended it. False at end of file with nothing read.
bool text_getline(FILE* stream, std::string& line);
