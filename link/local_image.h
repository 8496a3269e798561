// Reading an image that a command sends from a local file.
#pragma once

#include <cstdio>

#include "link/image_kind.h"

struct RunContext;

enum class LocalImage {
    opened,
    not_regular,  // a pipe, a terminal, a character device: never opened
    not_opened,
};

// Opens the image at path for reading, unless it is no file whose whole
// content can be read at once. When it is not opened, the kind's message
// says why (on standard output) and file is nullptr.
LocalImage open_local_image(RunContext& run, const char* path, const ImageKind& kind, FILE*& file);

// Size of an open file, measured from its start to its end; the file is
// left at its start.
long local_image_size(FILE* file);

// Reads the whole image at path into buffer (at most size bytes): its
// length, or -1 after the kind's message when it cannot be opened or read,
// is empty, or is larger than the kind allows.
int read_local_image(RunContext& run, const char* path, const ImageKind& kind, unsigned char* buffer, int size);
