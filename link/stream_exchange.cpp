#include "link/stream_exchange.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "platform/winsock.h"

ResponseVersion response_version;
bool show_whole_response = false;

static const char MASKED_TEXT[] = "\"********\"";

static int send_text(const char* text, bool masked)
{
    if (run_state.run_status != 0)
        return run_state.run_status;

    int length = static_cast<int>(std::strlen(text));
    int written = length > 0 ? tls_write(text, length) : 0;
    if (written < 0) {
        log_error("SSL_write:Connection Terminated:reason(%d).\r\n", WSAGetLastError());
        run_state.run_status = 6;
        return 6;
    }
    if (settings.verbose) {
        if (masked)
            log_info("Sending (%d):\r\n%s\r\n", written, MASKED_TEXT);
        else if (written != 0)
            log_info("Sending (%d):\r\n%s\r\n", written, text);
    }
    return 0;
}

int plain_send(const char* text)
{
    return send_text(text, false);
}

int masked_send(const char* text)
{
    return send_text(text, true);
}

// Tag ends and closing tags are followed by a line break, everything else by
// a blank.
static char token_separator(const char* token)
{
    return token[0] == '>' || token[0] == '/' ? '\n' : ' ';
}

static int send_token(const char* token, bool masked)
{
    if (run_state.checking_pass)
        return 0;

    char separator = token_separator(token);
    size_t length = std::strlen(token);
    if (length + 2 <= sizeof transfer_buffer) {
        std::memmove(transfer_buffer, token, length);
        transfer_buffer[length] = separator;
        transfer_buffer[length + 1] = '\0';
        return send_text(transfer_buffer, masked);
    }
    // Text blocks can be longer than the transfer buffer: they go out whole.
    std::string long_token(token, length);
    long_token += separator;
    return send_text(long_token.c_str(), masked);
}

int token_send(const char* token)
{
    return send_token(token, false);
}

int masked_token_send(const char* token)
{
    return send_token(token, true);
}

// The two layouts of a response: the root start tag closed as an empty
// element, or as an ordinary start tag. Each records what it took.
static void scan_response(const char* text, bool empty_root, ResponseStatus& result)
{
    int major = 0;
    int minor = 0;
    unsigned status = 0;
    char message[4096];
    int taken = empty_root
        ? std::sscanf(text,
                      "<?xml version=\"%*f\"?> < MOXCL VERSION = \" %d.%d  \" /> "
                      "< RESPONSE STATUS = \" 0x%x \" MESSAGE = ' %4095[^'\n] ' ",
                      &major, &minor, &status, message)
        : std::sscanf(text,
                      "<?xml version=\"%*f\"?> < MOXCL VERSION = \" %d.%d  \" > "
                      "< RESPONSE STATUS = \" 0x%x \" MESSAGE = ' %4095[^'\n] ' ",
                      &major, &minor, &status, message);
    if (taken >= 1) {
        result.major_taken = true;
        result.major = static_cast<unsigned>(major);
    }
    if (taken >= 2) {
        result.version_taken = true;
        result.minor = static_cast<unsigned>(minor);
    }
    if (taken >= 3)
        result.status = status;
    if (taken == 4)
        result.complete = true;
}

ResponseStatus parse_response_status(const char* text)
{
    ResponseStatus result;
    scan_response(text, true, result);
    scan_response(text, false, result);
    return result;
}

static int read_failed()
{
    log_error("SSL_read:Connection Terminated:reason(%d).\r\n", WSAGetLastError());
    run_state.run_status = 3;
    return 3;
}

// One read into buffer, terminated after the bytes read; the count, or 0 or
// less when the read failed.
static int read_once(char* buffer, int size)
{
    std::memset(buffer, 0, size);
    int count = tls_read(buffer, size);
    buffer[count > 0 ? count : 0] = '\0';
    return count;
}

// Shows the rest of a response up to the read that holds the closing root
// tag. Each read is searched by itself.
static int drain_to_end_tag(char* buffer, int size)
{
    for (;;) {
        if (read_once(buffer, size) <= 0)
            return read_failed();
        log_plain("%s", buffer);
        if (std::strstr(buffer, "</MOXCL>") != nullptr)
            return 0;
    }
}

int response_check(char* buffer, int size)
{
    std::memset(buffer, 0, size);
    if (run_state.checking_pass || run_state.processor_generation != 0)
        return 0;
    if (run_state.run_status != 0)
        return run_state.run_status;

    if (read_once(buffer, size) <= 0)
        return read_failed();
    int length = static_cast<int>(std::strlen(buffer));

    ResponseStatus parsed = parse_response_status(buffer);
    if (parsed.major_taken)
        response_version.major = parsed.major;
    if (parsed.version_taken)
        response_version.minor = parsed.minor;

    if (!parsed.complete) {
        log_error("Malformed MOX response: (%d):\r\n%s\r\n", length, buffer);
        return 4;
    }
    if (parsed.status != 0) {
        log_info("Response received from the MOX: (%d):\r\n%s\r\n", length, buffer);
        run_state.run_status = static_cast<int32_t>(parsed.status);
        return 5;
    }
    if (settings.verbose || show_whole_response) {
        if (std::strstr(buffer, "</MOXCL>") == nullptr && std::strstr(buffer, "<END_MOXCL/>") == nullptr) {
            log_plain("%s", buffer);
            run_state.run_status = drain_to_end_tag(buffer, size);
            show_whole_response = false;
            return 0;
        }
        show_whole_response = false;
        run_state.run_status = 0;
        log_info("Receiving (%d):\r\n%s\r\n", length, buffer);
        return 0;
    }
    run_state.run_status = 0;
    return 0;
}
