#include "link/firmware_upload.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "records/log_output.h"
#include "records/run_causes.h"
#include "platform/system_error_name.h"
#include "records/progress_display.h"
#include "records/run_context.h"
#include "records/run_limits.h"
#include "link/connection.h"
#include "link/http_reply.h"
#include "link/http_request.h"
#include "link/image_kind.h"
#include "link/image_record.h"
#include "link/image_transfer.h"
#include "link/link.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "records/firmware_reference.h"
#include "records/results.h"

namespace {

constexpr size_t IMAGE_BLOCK = 131072;
constexpr int UPLOAD_REPLY_READ = 4095;

// The image cannot be opened: the run fails with -1, nothing of the upload
// having gone out.
Flow image_cannot_be_opened(Link& link, const std::string& path, int error)
{
    console_only(link.run, "Cannot open firmware image file \"%s\"\r\n", path.c_str());
    error_only(link.run, "%s\n", std::strerror(error));
    const char* name = system_error_name(error);
    note_cause(link.run, Cause::firmware_unopenable,
               format_text("the firmware image \"%s\" cannot be opened: %s%s%s%s", path.c_str(), std::strerror(error),
                           name ? " (" : "", name ? name : "", name ? ")" : ""),
               0, name ? name : "");
    connection_teardown(link);
    record_failure(link.run, RunCode::unusable);
    return Flow::closing_report;
}

// Sends the image in blocks, never more than the measured size; returns
// the bytes sent.
long send_image_blocks(Link& link, const std::string& path, FILE* image, long image_size)
{
    unsigned char* image_buffer = link.image_buffer.get();
    long sent = 0;
    ImageRecord record(link.run, FIRMWARE_IMAGE.report_kind, path);
    progress_begin(link.run.progress, FIRMWARE_IMAGE.progress_label, image_size);
    while (sent < image_size) {
        std::memset(image_buffer, 0, IMAGE_BLOCK);
        if (std::feof(image)) {
            console_only(link.run, "EOF\n");
            break;
        }
        size_t wanted = std::min(IMAGE_BLOCK, static_cast<size_t>(image_size - sent));
        size_t count = std::fread(image_buffer, 1, wanted, image);
        if (count == 0 && std::ferror(image)) {
            console_only(link.run, "Cannot read firmware image file \"%s\"\r\n", path.c_str());
            break;
        }
        // A failed write is reported there; the upload goes on to its end.
        static_cast<void>(image_send(link, image_buffer, static_cast<int>(count)));
        record.add(image_buffer, count);
        sent += static_cast<long>(count);
    }
    progress_end(link.run.progress);
    record.done();
    return sent;
}

}  // namespace

void FlashCookie::take(std::string_view read)
{
    constexpr std::string_view SET_COOKIE = "Set-Cookie: MoxclFlash=";
    constexpr std::string_view SET_PREFIX = "Set-";  // the header line sent starts after it
    constexpr std::string_view LINE_END("\r\n\0", 3);
    if (too_long_)
        return;
    std::string text = pending_;
    text.append(read);
    pending_.clear();
    size_t at = 0;
    for (;;) {
        if (in_line_) {
            size_t end = text.find_first_of(LINE_END, at);
            size_t stop = end == std::string::npos ? text.size() : end;
            if (stop - at > FLASH_COOKIE_LINE_LIMIT - line_.size()) {
                too_long_ = true;
                in_line_ = false;
                line_.clear();
                return;
            }
            line_.append(text, at, stop - at);
            if (end == std::string::npos)
                return;
            in_line_ = false;
            at = end;
        }
        size_t found = text.find(SET_COOKIE, at);
        if (found == std::string::npos) {
            // The marker may continue in the next read.
            size_t keep = std::min(text.size() - at, SET_COOKIE.size() - 1);
            pending_.assign(text, text.size() - keep, keep);
            return;
        }
        seen_ = true;
        in_line_ = true;
        line_.assign(SET_COOKIE.substr(SET_PREFIX.size()));
        at = found + SET_COOKIE.size();
    }
}

bool read_upload_reply(Link& link, FlashCookie& cookie)
{
    char (&transfer_buffer)[TRANSFER_BUFFER_SIZE + 1] = link.transfer_buffer;
    long long total = 0;
    for (;;) {
        std::memset(transfer_buffer, 0, sizeof transfer_buffer);
        int count = tls_read(link, transfer_buffer, UPLOAD_REPLY_READ);
        if (count == 0)
            return true;
        // The caller ends the run.
        if (count < 0) {
            static_cast<void>(report_read_failure(link));
            return false;
        }
        if (!reply_within_limit(link, total, count))
            return false;
        if (link.run.settings.verbose)
            console_only(link.run, "%s", transfer_buffer);
        cookie.take(std::string_view(transfer_buffer, static_cast<size_t>(count)));
        if (cookie.too_long() || (count < UPLOAD_REPLY_READ && cookie.complete()))
            return true;
    }
}

std::string FlashCookie::header() const
{
    return seen_ && !too_long_ ? line_ + "\r\n" : std::string();
}

Flow firmware_upload(Link& link, FirmwareReference& firmware_reference, int32_t script_body_length,
                     const UploadCalls& calls)
{
    const std::string& boundary = firmware_reference.multipart_boundary;
    const std::string& path = firmware_reference.firmware_image_path;
    long image_size = firmware_reference.firmware_image_length;

    // Nothing of the upload goes out before the image is open and the
    // boundary made.
    FILE* image = std::fopen(in_run_folder(link.run.settings, path.c_str()).c_str(), "rb");
    if (image == nullptr)
        return image_cannot_be_opened(link, path, errno);
    if (boundary.empty()) {
        // The image could not be opened when the script was measured.
        firmware_reference.multipart_boundary = calls.make_boundary(link.run, image);
        std::rewind(image);
    }

    std::string body1 = format_text("--%s\r\nContent-Disposition: form-data; name=\"fileType\"\r\n\r\n", boundary.c_str());
    std::string body2 = format_text("\r\n--%s\r\nContent-Disposition: form-data; name=\"fwimgfile\"; filename=\"%s\"\r\n"
                                    "Content-Type: application/octet-stream\r\n\r\n",
                                    boundary.c_str(), path.c_str());
    std::string body3 = format_text("\r\n--%s--\r\n", boundary.c_str());
    long sendsize = static_cast<long>(body1.size()) + image_size + static_cast<long>(body2.size()) +
                    static_cast<long>(body3.size());

    // A failed send fails the run; what follows sends nothing more.
    static_cast<void>(plain_send(link, 
        format_text("POST /cgi-bin/uploadMoxclFiles HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\nConnection: close\r\n"
                    "Content-Length: %ld\r\nContent-Type: multipart/form-data; boundary=%s\r\n\r\n",
                    link.client_host_name, sendsize, boundary.c_str())
            .c_str()));
    static_cast<void>(plain_send(link, body1.c_str()));
    sendsize -= static_cast<long>(body1.size());
    static_cast<void>(plain_send(link, body2.c_str()));
    sendsize -= static_cast<long>(body2.size());

    console_only(link.run, "\nFirmware image is being sent ...\n");
    link.transfer_flags |= TRANSFER_FIRMWARE_SENT;
    sendsize -= send_image_blocks(link, path, image, image_size);
    std::fclose(image);

    static_cast<void>(plain_send(link, body3.c_str()));
    sendsize -= static_cast<long>(body3.size());
    if (sendsize != 0 && link.run.settings.verbose)
        console_only(link.run, "Warning: Remaining sendsize = %ld\n", sendsize);
    // The declared length is always reached: blanks after the closing
    // boundary when the image gave fewer bytes than measured.
    for (; sendsize > 0; --sendsize)
        static_cast<void>(plain_send(link, " "));

    show_responses_heading(link);
    FlashCookie cookie;
    if (!read_upload_reply(link, cookie)) {
        connection_teardown(link);
        return Flow::end_now;
    }
    if (cookie.too_long()) {
        log_error(link.run, "The cookie sent by the firmware is longer than %d characters.\r\n",
                  static_cast<int>(FLASH_COOKIE_LINE_LIMIT));
        note_cause(link.run, Cause::http_cookie_too_long, {});
        record_failure(link.run, RunCode::refused);
        connection_teardown(link);
        return Flow::go_on;
    }
    std::string cookie_line = cookie.header();
    if (link.run.settings.verbose) {
        if (cookie_line.empty())
            log_error(link.run, "\nUnable to receive the cookie sent by the firmware\n");
        else
            console_only(link.run, "\nReceived the Cookie:\n %s\n\n", cookie_line.c_str());
    }
    connection_teardown(link);

    if (SIO_connect(link) == Flow::end_now)
        return Flow::end_now;
    static_cast<void>(
        plain_send(link, format_text("POST /moxcl HTTP/1.1\r\nHOST: %s\r\nTE: chunked\r\n", link.client_host_name).c_str()));
    if (!cookie_line.empty())
        static_cast<void>(plain_send(link, cookie_line.c_str()));
    static_cast<void>(plain_send(link, "Connection: Close\r\n"));
    static_cast<void>(plain_send(link, format_text("Content-length: %d\r\n\r\n", script_body_length).c_str()));
    calls.send_body();
    return Flow::go_on;
}
