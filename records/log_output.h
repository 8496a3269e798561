// The three writers: each formats its message once and writes the same line
// to standard output and then to the log stream. Messages carry their own
// line ends. Messages of any length are written whole.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#define QUORVEX_PRINTF(f, a) __attribute__((format(printf, f, a)))

// "<program>: ERROR: <message>"
int log_error(const char* format, ...) QUORVEX_PRINTF(1, 2);
// "<program>: <message>"
int log_info(const char* format, ...) QUORVEX_PRINTF(1, 2);
// "<message>"
int log_plain(const char* format, ...) QUORVEX_PRINTF(1, 2);

// Messages the log does not hold: "<message>" on the console alone
// (standard output: under -q it reaches the person only while a
// ConsolePass is alive), and on standard error alone (faults of the
// utility's own surroundings: a log or report that cannot be written).
int console_only(const char* format, ...) QUORVEX_PRINTF(1, 2);
void console_only_text(const char* text, size_t length);
inline void console_only_text(const char* text) { console_only_text(text, std::strlen(text)); }
int error_only(const char* format, ...) QUORVEX_PRINTF(1, 2);
// "<message>" in the log alone.
int log_only(const char* format, ...) QUORVEX_PRINTF(1, 2);
// Text for the console kept aside under -q (nothing without -q).
void quiet_console_text(const char* text, size_t length);

// Raw text, unformatted, to standard output and then to the log.
void write_both(const char* text, size_t length);
inline void write_both_line_end() { write_both("\r\n", 2); }
// Raw text to the log, then to standard output (the HTTP reply trace order).
void write_log_then_console(const char* text, size_t length);

// The formatted text, however long.
std::string format_text(const char* format, ...) QUORVEX_PRINTF(1, 2);
