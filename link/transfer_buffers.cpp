#include "link/transfer_buffers.h"

char transfer_buffer[TRANSFER_BUFFER_SIZE + 1];
unsigned char image_buffer[IMAGE_BUFFER_SIZE + 1];
