// HTTP mode firmware update: multipart upload, cookie, follow-up request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "records/results.h"
#include "records/firmware_reference.h"

struct RunContext;

struct Link;

// What the upload needs from the script preparation: a multipart boundary
// for an image (when the measuring pass could not make one), and the
// sending of the script body on the follow-up request.
struct UploadCalls {
    std::string (*make_boundary)(RunContext& run, FILE* image);
    std::function<void()> send_body;
};

// Uploads the image firmware_reference names (as the body pass found it; a
// boundary it could not make is made here), reconnects and sends the script request with
// the cookie. go_on once the follow-up request is sent, or, with the run
// failed (a cookie line too long to send), without it; closing_report when
// the image cannot be opened (run status -1, nothing sent); end_now when
// the upload reply cannot be read (3) or the second connection cannot be
// made.
Flow firmware_upload(Link& link, FirmwareReference& firmware_reference, int32_t script_body_length,
                     const UploadCalls& calls);

// The longest Cookie line the follow-up request carries.
constexpr size_t FLASH_COOKIE_LINE_LIMIT = 4096;

// The Cookie header line of the follow-up request, caught from the upload
// reply read by read: "Cookie: MoxclFlash=" and the rest of the reply's
// Set-Cookie line up to its end, however the reads cut the reply. A later
// Set-Cookie line for the cookie takes the place of an earlier one.
class FlashCookie {
public:
    void take(std::string_view read);
    // The reply named the cookie.
    bool seen() const { return seen_; }
    // The cookie's line has ended (or its length was refused).
    bool complete() const { return seen_ && !in_line_; }
    // The line passed FLASH_COOKIE_LINE_LIMIT: it is not to be sent.
    bool too_long() const { return too_long_; }
    // The header line to send, with one "\r\n"; empty when not seen.
    std::string header() const;

private:
    std::string pending_;  // the end of the reads so far, when it may begin the marker
    std::string line_;
    bool seen_ = false;
    bool in_line_ = false;
    bool too_long_ = false;
};

// Reads the upload reply up to the end of the cookie's line (and on while
// the reads come full, or until the line is refused as too long) into
// cookie. False when a read failed, or the reply passed REPLY_BYTE_LIMIT:
// reported, run status 3.
bool read_upload_reply(Link& link, FlashCookie& cookie);
