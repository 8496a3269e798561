#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "platform/winsock.h"

RunSettings settings;
RunState run_state;

static std::string format_message(const char* format, va_list arguments)
{
    va_list copy;
    va_copy(copy, arguments);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    return text;
}

static int write_line(const char* prefix_format, const std::string& message)
{
    std::fprintf(stdout, prefix_format, settings.program_name, message.c_str());
    return run_state.log_stream ? std::fprintf(run_state.log_stream, prefix_format, settings.program_name,
                                               message.c_str())
                                : 0;
}

int log_error(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string message = format_message(format, arguments);
    va_end(arguments);
    return write_line("%s: ERROR: %s", message);
}

int log_info(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string message = format_message(format, arguments);
    va_end(arguments);
    return write_line("%s: %s", message);
}

int log_plain(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::string message = format_message(format, arguments);
    va_end(arguments);
    std::fputs(message.c_str(), stdout);
    return run_state.log_stream ? std::fputs(message.c_str(), run_state.log_stream) : 0;
}

void write_both(const char* text, size_t length)
{
    std::fwrite(text, 1, length, stdout);
    if (run_state.log_stream)
        std::fwrite(text, 1, length, run_state.log_stream);
}

void write_log_then_console(const char* text, size_t length)
{
    if (run_state.log_stream)
        std::fwrite(text, 1, length, run_state.log_stream);
    std::fwrite(text, 1, length, stdout);
}

int WSAStartup(unsigned short version, WSAData* data)
{
    if (data)
        data->version = version;
    return 0;
}

int WSACleanup()
{
    return 0;
}

int WSAGetLastError()
{
    return errno;
}

void Sleep(unsigned long milliseconds)
{
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

void closesocket(int socket_handle)
{
    if (socket_handle >= 0)
        close(socket_handle);
}
