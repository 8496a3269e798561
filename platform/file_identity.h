// Whether two names lead to one file, whatever the spelling of the path
// (another folder route, a link, a different letter case on Windows).
#pragma once

// True when both names exist and are the same file: the same device and
// inode on POSIX systems, the same volume serial number and file index on
// Windows. False when either cannot be looked at.
bool same_file(const char* a, const char* b);

// True when a and b name one file: the same file when both exist; when
// neither exists yet, the same last name (on Windows in any case) in one
// folder, so that making both would make one file. False when only one
// exists.
bool one_file(const char* a, const char* b);
