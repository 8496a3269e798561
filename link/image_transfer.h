// Stream mode image transfers: firmware and virtual floppy images.
#pragma once

constexpr unsigned TRANSFER_FIRMWARE_SENT = 0x2;
constexpr unsigned TRANSFER_FLOPPY_COPY_PENDING = 0x80000;
constexpr int FLOPPY_IMAGE_MAX = 1475000;
constexpr int IMAGE_SEND_PIECE = 16384;

extern unsigned transfer_flags;

// location: the IMAGE_LOCATION value of the command. A transfer that gets
// past its first checks fills the commands' image location with zeros after
// use. 0 success, 1 failed command.
int firmware_image_transfer(const char* location);
int floppy_image_insert(const char* location);
int floppy_image_copy(const char* location);
// At the end of a command block: writes a received copy, unless a firmware
// image went out since the last call (then the copy waits for the next one).
int floppy_image_write();
// Writes a received copy that is still waiting, now. A copy whose file
// cannot be opened or written fails the run with status 1 and leaves no
// file behind. 0, or 1 when nothing could be written.
int floppy_copy_flush();

// 0, or 6 when a write failed.
int image_send(const unsigned char* buffer, int length);
// Bytes received, at most length.
int image_receive(unsigned char* buffer, int length);
// The length field that precedes a received image; -1 when no data came.
int image_length_read();
