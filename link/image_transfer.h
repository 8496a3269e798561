// Stream mode image transfers: firmware and virtual floppy images.
#pragma once

#include <vector>

#include "records/results.h"

struct Link;

constexpr unsigned TRANSFER_FIRMWARE_SENT = 0x2;
constexpr unsigned TRANSFER_FLOPPY_COPY_PENDING = 0x80000;
constexpr int FLOPPY_IMAGE_MAX = 1475000;
constexpr int IMAGE_SEND_PIECE = 16384;
// An IMAGE_LOCATION value and a received copy's file name, with terminator.
constexpr int IMAGE_LOCATION_SIZE = 256;

// A received floppy image waiting to be written to its file.
struct PendingCopy {
    std::vector<unsigned char> image;
    char destination[IMAGE_LOCATION_SIZE] = "";
};

// location: the IMAGE_LOCATION value of the command (the caller's text is
// used up by the transfer: the caller clears it). ok, or failed_command.
LinkResult firmware_image_transfer(Link& link, const char* location);
LinkResult floppy_image_insert(Link& link, const char* location);
LinkResult floppy_image_copy(Link& link, const char* location);
// At the end of a command block: writes a received copy, unless a firmware
// image went out since the last call (then the copy waits for the next one
// and the result is failed_command, with the run going on).
LinkResult floppy_image_write(Link& link);
// Writes a received copy that is still waiting, now. A copy whose file
// cannot be opened or written fails the run with status 1 and leaves no
// file behind.
LinkResult floppy_copy_flush(Link& link);

// ok, or write_failure (reported; the run status is left as it is).
LinkResult image_send(Link& link, const unsigned char* buffer, int length);
// Bytes received, at most length.
int image_receive(Link& link, unsigned char* buffer, int length);
// The length field that precedes a received image; -1 when no data came.
int image_length_read(Link& link);
