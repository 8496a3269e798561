// HTTP mode firmware update: multipart upload, cookie, follow-up request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Uploads the referenced image, reconnects and sends the script request with
// the cookie. Ends the process itself when the image cannot be opened (-1)
// or the upload reply cannot be read (3). Returns 0 once the follow-up
// request is sent, else the run status (the request was not sent).
int firmware_upload(int32_t script_body_length);

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
