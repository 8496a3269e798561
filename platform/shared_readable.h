// Whether a file can be read by others than its owner.
#pragma once

#include <cstdio>

// POSIX: the group or others have read permission. Windows: not checked
// (access lists do not map onto these bits), always false.
bool readable_by_others(FILE* file);
