// The kinds of image a command sends from a local file: the element that
// announces each, the words its messages use, and the largest it may be.
#pragma once

#include <string>

#include "link/image_transfer.h"
#include "link/transfer_buffers.h"

struct ImageKind {
    const char* element;         // the command that announces the image
    long largest;                // bytes
    // Why the local file cannot be sent.
    const char* not_regular;
    const char* not_opened;
    const char* not_read;
    const char* too_large;
    // Around the transfer.
    const char* refused;         // the processor did not take the announcement
    const char* sending;
    const char* progress_label;
    const char* report_kind;     // in the run report
};

inline constexpr ImageKind FIRMWARE_IMAGE = {
    "UPDATE_MOX_FIRMWARE",
    IMAGE_BUFFER_SIZE,
    "The firmware image file is not a regular file\r\n",
    "Unable to open the firmware image update file\r\n",
    "Unable to read the firmware image update file\r\n",
    "The firmware image file is not valid\r\n",
    "Unable to transmit the firmware image update file\r\n",
    "Firmware image file is being sent ...\r\n",
    "Sending firmware image",
    "firmware",
};

inline constexpr ImageKind FLOPPY_IMAGE = {
    "INSERT_VIRTUAL_FLOPPY",
    FLOPPY_IMAGE_MAX,
    "The virtual floppy image file is not a regular file\r\n",
    "Unable to open the virtual floppy image file\r\n",
    "Unable to read the virtual floppy image file\r\n",
    "The virtual floppy image file size is too big\r\n",
    "Unable to transmit the virtual floppy image file\r\n",
    "Virtual Floppy image file is being sent ...\r\n",
    "Sending virtual floppy image",
    "floppy_insert",
};

// The element that announces an image of the kind at path, with its length,
// on lines of its own.
std::string image_element(const ImageKind& kind, const char* path, long length);
