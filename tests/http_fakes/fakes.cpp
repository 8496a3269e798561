// Stand-ins for the run driver, platform and connection pieces that the
// HTTP-mode code calls, so its unit tests link before those pieces exist.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "driver/command_line.h"
#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "link/connection.h"
#include "link/image_transfer.h"
#include "link/stream_exchange.h"
#include "link/transfer_buffers.h"
#include "platform/text_stream.h"
#include "platform/winsock.h"

RunSettings settings;
RunState run_state;
Connection connection;
unsigned transfer_flags = 0;
char transfer_buffer[TRANSFER_BUFFER_SIZE + 1];
unsigned char image_buffer[IMAGE_BUFFER_SIZE + 1];

const char* get_user_name() { return settings.user_name; }
const char* get_password() { return settings.password; }

static int write_line(const char* prefix, const char* format, va_list args)
{
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    return std::printf("%s%s", prefix, text);
}

int log_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = write_line("quorvex: ERROR: ", format, args);
    va_end(args);
    return n;
}

int log_info(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = write_line("quorvex: ", format, args);
    va_end(args);
    return n;
}

int log_plain(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = write_line("", format, args);
    va_end(args);
    return n;
}

void write_both(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }
void write_log_then_console(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }

char* text_gets(char* buf, int size, FILE* stream)
{
    int used = 0;
    while (used < size - 1) {
        int c = std::fgetc(stream);
        if (c == EOF)
            break;
        if (c == '\r') {
            int next = std::fgetc(stream);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, stream);
        }
        buf[used++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buf[used] = '\0';
    return used == 0 ? nullptr : buf;
}

int WSAGetLastError() { return errno; }

void SIO_connect() {}
void connection_teardown() {}
int plain_send(const char*) { return run_state.run_status; }
int image_send(const unsigned char*, int) { return 0; }
int token_send(const char*) { return 0; }
int masked_token_send(const char*) { return 0; }
