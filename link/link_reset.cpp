#include "link/link_reset.h"

#include <cstring>

#include "link/connection.h"
#include "link/http_reply.h"
#include "link/http_request.h"
#include "link/image_transfer.h"
#include "link/stream_exchange.h"
#include "link/transfer_buffers.h"

void reset_link()
{
    connection_teardown();
    release_tls_context();
    tls_context_maker = make_tls_context;
    reset_image_transfers();
    reset_http_reply();
    reset_stream_exchange();
    std::memset(client_host_name, 0, sizeof client_host_name);
    std::memset(transfer_buffer, 0, sizeof transfer_buffer);
}
