// Stand-ins for the connection pieces that the HTTP-mode code calls, so its
// unit tests link before those pieces exist.
#include "link/connection.h"
#include "link/image_transfer.h"
#include "link/stream_exchange.h"
#include "link/transfer_buffers.h"
#include "driver/run_state.h"

Connection connection;
unsigned transfer_flags = 0;
char transfer_buffer[TRANSFER_BUFFER_SIZE + 1];
unsigned char image_buffer[IMAGE_BUFFER_SIZE + 1];

void SIO_connect() {}
void connection_teardown() {}
int plain_send(const char*) { return run_state.run_status; }
int image_send(const unsigned char*, int) { return 0; }
int token_send(const char*) { return 0; }
int masked_token_send(const char*) { return 0; }
