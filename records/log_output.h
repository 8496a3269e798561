// The writers of a run's messages: each formats its message once and writes
// it where its name says, the console (the run's standard output) and then
// the run's log stream. Messages carry their own line ends. Messages of any
// length are written whole.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

struct RunContext;

#define QUORVEX_PRINTF(f, a) __attribute__((format(printf, f, a)))

// "<program>: ERROR: <message>"
int log_error(RunContext& run, const char* format, ...) QUORVEX_PRINTF(2, 3);
// "<program>: <message>"
int log_info(RunContext& run, const char* format, ...) QUORVEX_PRINTF(2, 3);
// "<message>"
int log_plain(RunContext& run, const char* format, ...) QUORVEX_PRINTF(2, 3);

// Messages the log does not hold: "<message>" on the console alone
// (its standard output: under -q it reaches the person only while a
// ConsolePass is alive), and on its standard error alone (faults of the
// utility's own surroundings: a log or report that cannot be written).
int console_only(RunContext& run, const char* format, ...) QUORVEX_PRINTF(2, 3);
void console_only_text(RunContext& run, const char* text, size_t length);
inline void console_only_text(RunContext& run, const char* text)
{
    console_only_text(run, text, std::strlen(text));
}
int error_only(RunContext& run, const char* format, ...) QUORVEX_PRINTF(2, 3);
// "<message>" in the log alone.
int log_only(RunContext& run, const char* format, ...) QUORVEX_PRINTF(2, 3);
// Text for the console kept aside under -q (nothing without -q).
void quiet_console_text(RunContext& run, const char* text, size_t length);

// Raw text, unformatted, to standard output and then to the log.
void write_both(RunContext& run, const char* text, size_t length);
inline void write_both_line_end(RunContext& run) { write_both(run, "\r\n", 2); }
// Raw text to the log, then to standard output (the HTTP reply trace order).
void write_log_then_console(RunContext& run, const char* text, size_t length);

// The formatted text, however long.
std::string format_text(const char* format, ...) QUORVEX_PRINTF(1, 2);
