// QUORVEX_PASSWORD_FILE: the password from the first line of a file ("-":
// standard input), for when neither -p nor QUORVEX_PASSWORD gives one.
#pragma once

struct RunContext;

// Reads the file the variable names into the run's password. True when the
// variable is unset or a password was read; false (after a message on the
// run's standard output) when the file cannot be read, gives no line within
// the connection's time limit (a named pipe no one writes to), or gives no
// password: an empty first line, or one that holds a NUL byte.
bool take_password_file(RunContext& run);
