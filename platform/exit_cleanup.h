// A file that must not outlive the process (the working copy, with every
// substituted value in it): removed however the process ends, by a return
// from main, exit(), or SIGINT, SIGTERM or SIGHUP.
#pragma once

// From now on, name is removed when the process ends. One file at a time:
// a later call replaces the earlier name.
void remove_at_exit(const char* name);

// The file has been dealt with: nothing is removed at the end any more.
void keep_at_exit();
