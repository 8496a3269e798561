// Files that hold secrets: readable and writable by their owner only (on
// Windows: an access list of the running user alone, not inherited).
#pragma once

#include <cstdio>

// Creates name, or empties it, for binary writing, readable by its owner
// only (also when it existed before with wider permissions). nullptr when
// it cannot be created.
FILE* create_private_file(const char* name);

// Opens name for binary reading such that it can still be deleted while it
// is open (Windows refuses that to an ordinary open): the working copy is
// removed on Ctrl-C while the run reads it. nullptr when it cannot be opened.
FILE* open_private_file(const char* name);
