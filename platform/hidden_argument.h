// An argument taken off the command line that other users of the computer
// can read in the process list (a password given with -p).
#pragma once

// Overwrites argument, one of main's arguments, with 'x' once its value has
// been copied: the process list shows the command line as it now stands in
// the process's memory (on Windows the command line the process was started
// with, where the argument is overwritten wherever it stands as a word of its
// own). Nothing can hide it for the moment before.
void hide_argument(char* argument);
