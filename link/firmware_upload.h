// HTTP mode firmware update: multipart upload, cookie, follow-up request.
#pragma once

#include <cstdint>

// Uploads the referenced image, reconnects and sends the script request with
// the cookie. Ends the process itself when the image cannot be opened (-1)
// or the upload reply cannot be read (3).
void firmware_upload(int32_t script_body_length);
