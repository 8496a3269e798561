#include "link/firmware_upload.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "link/connection.h"
#include "link/http_exchange.h"
#include "link/image_transfer.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "platform/winsock.h"
#include "prepare/script_body_pass.h"

namespace {

constexpr size_t IMAGE_BLOCK = 131072;
constexpr int UPLOAD_REPLY_READ = 4095;
constexpr size_t COOKIE_SIZE = 70;
constexpr std::string_view SET_COOKIE = "Set-Cookie: MoxclFlash=";

std::string formatted(const char* format, const std::string& first, const std::string& second = {})
{
    int size = std::snprintf(nullptr, 0, format, first.c_str(), second.c_str());
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, first.c_str(), second.c_str());
    text.pop_back();
    return text;
}

[[noreturn]] void image_cannot_be_opened(const std::string& path, int error)
{
    std::printf("Cannot open firmware image file \"%s\"\r\n", path.c_str());
    std::fprintf(stderr, "%s\n", std::strerror(error));
    connection_teardown();
    write_both_line_end();
    log_info("Script Failed on \"%s:%s\"\r\n", settings.server_address, settings.port_text);
    std::exit(-1);
}

// Sends the image in blocks, never more than the measured size; returns
// the bytes sent.
long send_image_blocks(FILE* image, long image_size)
{
    long sent = 0;
    while (sent < image_size) {
        std::memset(image_buffer, 0, IMAGE_BLOCK);
        if (std::feof(image)) {
            std::printf("EOF\n");
            break;
        }
        size_t wanted = std::min(IMAGE_BLOCK, static_cast<size_t>(image_size - sent));
        size_t count = std::fread(image_buffer, 1, wanted, image);
        if (count == 0 && std::ferror(image)) {
            std::printf("Cannot read firmware image file \"%s\"\r\n", firmware_reference.firmware_image_path.c_str());
            break;
        }
        image_send(image_buffer, static_cast<int>(count));
        sent += static_cast<long>(count);
    }
    return sent;
}

// Reads the upload reply and keeps the first 70 characters from
// "Cookie: MoxclFlash=" on, whatever follows the value.
void read_upload_reply(char (&cookie)[COOKIE_SIZE + 1])
{
    std::memset(cookie, 0, sizeof cookie);
    for (;;) {
        std::memset(transfer_buffer, 0, sizeof transfer_buffer);
        int count = tls_read(transfer_buffer, UPLOAD_REPLY_READ);
        if (count == 0)
            break;
        if (count < 0) {
            log_error("SSL_read:Connection Terminated:reason(%d).\r\n", WSAGetLastError());
            run_state.run_status = 3;
            connection_teardown();
            std::exit(3);
        }
        std::string_view reply(transfer_buffer, static_cast<size_t>(count));
        if (settings.verbose)
            std::printf("%s", transfer_buffer);
        size_t found = reply.find(SET_COOKIE);
        if (found != std::string_view::npos) {
            std::string_view value = reply.substr(found + 4, COOKIE_SIZE);
            value = value.substr(0, strnlen(value.data(), value.size()));
            std::memset(cookie, 0, sizeof cookie);
            std::memcpy(cookie, value.data(), value.size());
        }
        if (count < UPLOAD_REPLY_READ && cookie[0] != '\0')
            break;
    }
}

}  // namespace

void firmware_upload(int32_t script_body_length)
{
    const std::string& boundary = firmware_reference.multipart_boundary;
    const std::string& path = firmware_reference.firmware_image_path;
    long image_size = firmware_reference.firmware_image_length;

    std::string body1 = formatted("--%s\r\nContent-Disposition: form-data; name=\"fileType\"\r\n\r\n", boundary);
    std::string body2 = formatted("\r\n--%s\r\nContent-Disposition: form-data; name=\"fwimgfile\"; filename=\"%s\"\r\n"
                                  "Content-Type: application/octet-stream\r\n\r\n",
                                  boundary, path);
    long sendsize = static_cast<long>(body1.size()) + image_size + static_cast<long>(body2.size()) +
                    static_cast<long>(boundary.size()) + 8;

    int size = std::snprintf(nullptr, 0,
                             "POST /cgi-bin/uploadMoxclFiles HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\nConnection: close\r\n"
                             "Content-Length: %ld\r\nContent-Type: multipart/form-data; boundary=%s\r\n\r\n",
                             client_host_name, sendsize, boundary.c_str());
    std::string head(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(head.data(), head.size(),
                  "POST /cgi-bin/uploadMoxclFiles HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\nConnection: close\r\n"
                  "Content-Length: %ld\r\nContent-Type: multipart/form-data; boundary=%s\r\n\r\n",
                  client_host_name, sendsize, boundary.c_str());
    plain_send(head.c_str());
    plain_send(body1.c_str());
    sendsize -= static_cast<long>(body1.size());
    plain_send(body2.c_str());
    sendsize -= static_cast<long>(body2.size());
    std::string body3 = formatted("\r\n--%s--\r\n", boundary);

    FILE* image = std::fopen(path.c_str(), "rb");
    if (image == nullptr)
        image_cannot_be_opened(path, errno);
    std::printf("\nFirmware image is being sent ...\n");
    transfer_flags |= TRANSFER_FIRMWARE_SENT;
    sendsize -= send_image_blocks(image, image_size);
    std::fclose(image);

    plain_send(body3.c_str());
    sendsize -= static_cast<long>(body3.size());
    if (sendsize != 0 && settings.verbose)
        std::printf("Warning: Remaining sendsize = %ld\n", sendsize);
    // The declared length is always reached: blanks after the closing
    // boundary when the image gave fewer bytes than measured.
    for (; sendsize > 0; --sendsize)
        plain_send(" ");

    if (settings.verbose)
        std::printf("\n----- Responses -----\n");
    char cookie[COOKIE_SIZE + 1];
    read_upload_reply(cookie);
    if (settings.verbose) {
        if (cookie[0] == '\0')
            log_error("\nUnable to receive the cookie sent by the firmware\n");
        else
            std::printf("\nReceived the Cookie:\n %s\n\n", cookie);
    }
    connection_teardown();

    SIO_connect();
    std::snprintf(transfer_buffer, sizeof transfer_buffer, "POST /moxcl HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\n",
                  client_host_name);
    plain_send(transfer_buffer);
    if (cookie[0] != '\0')
        plain_send(cookie);
    std::memset(cookie, 0, sizeof cookie);
    plain_send("Connection: Close\r\n");
    std::snprintf(transfer_buffer, sizeof transfer_buffer, "Content-length: %d\r\n\r\n", script_body_length);
    plain_send(transfer_buffer);
    int32_t sent_length = 0;
    script_body_pass(true, sent_length);
}
