// Files that hold secrets: readable and writable by their owner only.
#pragma once

#include <cstdio>

// Creates name, or empties it, for binary writing, readable by its owner
// only (also when it existed before with wider permissions). nullptr when
// it cannot be created.
FILE* create_private_file(const char* name);
