// What kind of file a name leads to, as far as reading an image from it, or
// making a file of that name, goes.
#pragma once

// True when path names something whose whole content can be read at once:
// a regular file or a disk. False for a pipe, a terminal, a socket or a
// character device such as /dev/stdin or /dev/zero, which could keep a run
// waiting for ever or never end. True as well when path cannot be looked
// at, so that opening it reports why.
bool readable_at_once(const char* path);

// True when path is a symbolic link (on Windows a reparse point) that leads
// to nothing: a file made under that name would be made where the link
// points.
bool link_to_nothing(const char* path);
