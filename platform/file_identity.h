// Whether two names lead to one file, whatever the spelling of the path
// (another folder route, a link, a different letter case on Windows).
#pragma once

// True when both names exist and are the same file: the same device and
// inode on POSIX systems, the same volume serial number and file index on
// Windows. False when either cannot be looked at.
bool same_file(const char* a, const char* b);
