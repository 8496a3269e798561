#include "records/log_output.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "records/console_gate.h"
#include "records/progress_display.h"
#include "records/run_report.h"
#include "records/run_context.h"

namespace {

constexpr int MESSAGE_BUFFER_SIZE = 4096;

// Formats into a 4096-byte buffer; a longer message is formatted again into
// a buffer of its own size, so nothing is cut and nothing overruns.
struct Formatted {
    char small[MESSAGE_BUFFER_SIZE];
    std::string large;
    const char* text = small;
    size_t length = 0;

    Formatted(const char* format, va_list args)
    {
        va_list again;
        va_copy(again, args);
        int needed = vsnprintf(small, sizeof small, format, args);
        if (needed < 0) {
            small[0] = '\0';
        } else if (needed < MESSAGE_BUFFER_SIZE) {
            length = static_cast<size_t>(needed);
        } else {
            large.resize(static_cast<size_t>(needed) + 1);
            vsnprintf(large.data(), large.size(), format, again);
            large.resize(static_cast<size_t>(needed));
            text = large.c_str();
            length = large.size();
        }
        va_end(again);
    }
};

int write_line(RunContext& run, const char* prefix, const Formatted& message, bool is_error = false)
{
    // A transfer's progress line leaves the terminal's line to the message.
    progress_hide(run.progress);
    FILE* console = console_for(run.console, is_error);
    if (is_error)
        report_error_line(run, std::string_view(message.text, message.length));
    if (console != nullptr) {
        if (prefix) {
            fputs(run.settings.program_name, console);
            fputs(prefix, console);
        }
        fwrite(message.text, 1, message.length, console);
    }
    if (!run.state.log_stream)
        return 0;
    int written = 0;
    if (prefix) {
        written = fprintf(run.state.log_stream, "%s%s", run.settings.program_name, prefix);
        if (written < 0)
            return written;
    }
    size_t body = fwrite(message.text, 1, message.length, run.state.log_stream);
    if (body < message.length)
        return -1;
    return written + static_cast<int>(body);
}

}  // namespace

int log_error(RunContext& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    return write_line(run, ": ERROR: ", message, true);
}

int log_info(RunContext& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    return write_line(run, ": ", message);
}

int log_plain(RunContext& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    return write_line(run, nullptr, message);
}

int console_only(RunContext& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    console_only_text(run, message.text, message.length);
    return static_cast<int>(message.length);
}

void console_only_text(RunContext& run, const char* text, size_t length)
{
    progress_hide(run.progress);
    if (FILE* console = console_for(run.console, false))
        fwrite(text, 1, length, console);
}

int error_only(RunContext& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    progress_hide(run.progress);
    fwrite(message.text, 1, message.length, run.console.errors);
    return static_cast<int>(message.length);
}

int log_only(RunContext& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    if (!run.state.log_stream)
        return 0;
    size_t written = fwrite(message.text, 1, message.length, run.state.log_stream);
    return written < message.length ? -1 : static_cast<int>(written);
}

void quiet_console_text(RunContext& run, const char* text, size_t length)
{
    if (run.console.kept != nullptr)
        fwrite(text, 1, length, run.console.kept);
}

void write_both(RunContext& run, const char* text, size_t length)
{
    if (FILE* console = console_for(run.console, false))
        fwrite(text, 1, length, console);
    if (run.state.log_stream)
        fwrite(text, 1, length, run.state.log_stream);
}

void write_log_then_console(RunContext& run, const char* text, size_t length)
{
    if (run.state.log_stream)
        fwrite(text, 1, length, run.state.log_stream);
    if (FILE* console = console_for(run.console, false))
        fwrite(text, 1, length, console);
}

std::string format_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Formatted message(format, args);
    va_end(args);
    return std::string(message.text, message.length);
}
