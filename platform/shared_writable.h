// Whether others than the running user can change a file: write to it, or
// put another file in its place.
#pragma once

#include <string>

// Why others than the running user (and the system's administrator) could
// change the file at path or the folder that holds it, in a few words ("the
// group or others may write to it"); empty when nothing found lets them.
// POSIX: the owners and write permissions of the file, of a link that leads
// to it and of their folders (a folder with the sticky bit keeps others from
// replacing a file of the user's own). Windows: not checked (access lists do
// not map onto these bits), always empty.
std::string changeable_by_others(const char* path);
