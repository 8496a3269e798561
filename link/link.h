// Everything the link to one processor holds between calls: the
// connection and its TLS context, the peer that may stand in for it, the
// buffers, the response store and the reading state of an HTTP reply, the
// stream exchange's state and the image transfers'. The run makes one on
// its context and hands it to every link call; two links share nothing,
// and a new one starts clean.
#pragma once

#include <cstdlib>
#include <memory>

#include "link/connection.h"
#include "link/http_reply.h"
#include "link/http_request.h"
#include "link/image_transfer.h"
#include "link/processor_identity.h"
#include "link/response_store.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "records/run_context.h"

struct Link {
    // Works for the run of the given context, which must outlive the link.
    explicit Link(RunContext& run);
    // What is left of the connection is dropped without a TLS shutdown, and
    // the TLS context freed.
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The run the link works for: its settings, state, console and report.
    RunContext& run;

    Connection connection;
    // Makes the TLS context at the first connection (the library's own maker
    // unless a test puts one here that fails).
    TlsContextMaker context_maker = make_tls_context;
    // The TLS context, made at the first connection and shared by every
    // later one (the probe's, the work connection, the firmware follow-up).
    SSL_CTX* shared_context = nullptr;
    // The same for the hello of TLS 1.3 and 1.2, offered first.
    SSL_CTX* modern_context = nullptr;
    // What the processor is known to speak: from the known-processors file
    // before the first connection, then from the handshakes of this run, so
    // that an older processor pays the refused modern hello at most once.
    ProcessorProtocol processor_speaks = ProcessorProtocol::unknown;
    bool protocol_looked_up = false;
    // QUORVEX_CA_FILE's authorities are in both contexts.
    bool authorities_loaded = false;
    // The "Negotiated cipher:" line has been shown (once a run).
    bool cipher_shown = false;
    // Another peer in the connection's place (tls_io.h), or nullptr.
    const LinkPeer* peer = nullptr;
    // The last failed read failed in sending the queued records, and that
    // was reported as a failed write.
    bool read_failed_in_write = false;

    // This machine's name, taken when the probe connects.
    char client_host_name[CLIENT_HOST_NAME_SIZE] = "";

    // Stream mode.
    ResponseVersion response_version;
    // Set for commands whose whole response is shown (the root element, GET
    // commands): the next response check that shows a response clears it.
    bool show_whole_response = false;
    EmptyRootEnds empty_root_ends;
    unsigned transfer_flags = 0;
    PendingCopy pending_copy;

    // HTTP mode.
    ResponseStore response_store;
    HttpReply http_reply;

    char transfer_buffer[TRANSFER_BUFFER_SIZE + 1] = {};
    // IMAGE_BUFFER_SIZE + 1 bytes, on the heap. Like the response store's
    // text it comes from the system zeroed and is only cleared where used.
    std::unique_ptr<unsigned char[], void (*)(void*)> image_buffer;
};
