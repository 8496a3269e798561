// Files that hold secrets: readable and writable by their owner only (on
// Windows: an access list of the running user alone, not inherited).
#pragma once

#include <cstdio>
#include <string>

// Creates name as a new file for binary writing, readable by its owner only,
// never through a link (a symbolic link, a Windows reparse point). A file of
// that name left from before is replaced only when it is a regular file of
// the running user; anything else (a link, a folder, another user's file) is
// refused. nullptr when nothing was created, with the reason in reason.
FILE* create_private_file(const char* name, std::string& reason);

// Opens name for binary reading, never through a link, such that it can
// still be deleted while it is open (Windows refuses that to an ordinary
// open): the working copy is removed on Ctrl-C while the run reads it.
// nullptr when it cannot be opened.
FILE* open_private_file(const char* name);

// Opens a log file for reading and writing, created (readable by its owner
// only) or emptied. With follow_links false a link of that name is not
// followed: the open fails instead. nullptr when it cannot be opened, with
// errno set.
FILE* open_log_output(const char* name, bool follow_links);
