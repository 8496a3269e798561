// Whether a file can be read by others than its owner.
#pragma once

// POSIX: path names a regular file that the group or others have read
// permission on. Windows: not checked (access lists do not map onto these
// bits), always false.
bool readable_by_others(const char* path);
