#include "link/http_reply.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "records/results.h"
#include "records/text_tests.h"
#include "link/connection.h"
#include "link/link.h"
#include "link/flash_confirmation.h"
#include "link/reply_chunks.h"
#include "link/response_store.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"

namespace {

void show_and_store(Link& link, const char* data, const ChunkPiece& piece, int count)
{
    std::string_view shown(data, piece.shown_length);
    if (link.run.settings.verbose) {
        write_log_then_console(link.run, "\r\n\n", 3);
        if (holds(shown, "</MOXCL>"))
            log_info(link.run, "Receiving (%d):\r\n\n", count);
    }
    std::string masked = link.http_reply.echo.shown(link.run, shown);
    write_both(link.run, masked.data(), masked.size());
    response_store_append(link, data, piece.length);
}

// What the reply's last piece held back (the start of a secret, maybe) is
// shown when the reply ends.
void show_rest(Link& link)
{
    std::string rest = link.http_reply.echo.rest();
    write_both(link.run, rest.data(), rest.size());
}

}  // namespace

void reply_collect_start(Link& link)
{
    response_store_reset(link.response_store);
    link.response_store.rollovers = 0;
    link.http_reply.status_scan = ReplyStatusScan{};
}

int status_scan(const Link& link)
{
    return link.http_reply.status_scan.result();
}

LinkResult http_chunk_read(Link& link, char* buffer, int size, int& count)
{
    HttpReply& http_reply = link.http_reply;
    std::memset(buffer, 0, static_cast<size_t>(size));
    count = 0;
    if (link.run.state.checking_pass)
        return LinkResult::ok;
    if (!run_going(link.run))
        return LinkResult::skipped;
    int result = tls_read(link, buffer, size);
    if (result < 0) {
        show_rest(link);
        return report_read_failure(link);
    }
    count = result;
    if (count == 0)
        return LinkResult::ok;
    // Writes may split a reply anywhere: what an earlier read left unfinished
    // (the head, a chunk's size line) goes in front of this one.
    std::string joined;
    const char* text = buffer;
    size_t length = static_cast<size_t>(count);
    if (!http_reply.carry.empty()) {
        joined = std::move(http_reply.carry);
        http_reply.carry.clear();
        joined.append(buffer, length);
        text = joined.data();
        length = joined.size();
    }
    if (!http_reply.started && reply_head_unfinished(std::string_view(text, length))) {
        http_reply.carry.assign(text, length);
        return LinkResult::ok;
    }
    ReplyRead read = parse_reply_read(text, length, http_reply.chunk_bytes_owed, http_reply.started);
    http_reply.started = true;
    if (length > read.head_length)
        http_reply.body_seen = true;
    if (read.refused_status_length > 0) {
        log_error(link.run, "The MOX refused the request: %.*s\r\n", static_cast<int>(read.refused_status_length), text);
        note_cause(link.run, Cause::http_refused,
                   format_text("the processor at %s:%s refused the request with \"%.*s\"", link.run.settings.server_address,
                               link.run.settings.port_text, static_cast<int>(read.refused_status_length), text));
        record_failure(link.run, RunCode::refused);
        return LinkResult::refused;
    }
    if (read.carry_from < length)
        http_reply.carry.assign(text + read.carry_from, length - read.carry_from);
    for (const ChunkPiece& piece : read.pieces)
        show_and_store(link, text + piece.offset, piece, count);
    return LinkResult::ok;
}

bool reply_cut_inside_chunk(const Link& link)
{
    const HttpReply& http_reply = link.http_reply;
    if (http_reply.chunk_bytes_owed > 0)
        return true;
    // What is carried after the head is a size line; one of size 0 is the
    // last chunk.
    size_t end = 0;
    return http_reply.started && !http_reply.carry.empty() &&
           chunk_size_at(http_reply.carry.data(), http_reply.carry.size(), 0, end) > 0;
}

void reset_http_reply(Link& link)
{
    HttpReply& http_reply = link.http_reply;
    reply_collect_start(link);
    http_reply.chunk_bytes_owed = 0;
    http_reply.started = false;
    http_reply.body_seen = false;
    http_reply.carry.clear();
    http_reply.echo = EchoMask{};
}

void show_responses_heading(Link& link)
{
    if (link.run.settings.verbose)
        console_only(link.run, "\n----- Responses -----\n");
}

Flow reply_read_loop(Link& link, bool firmware_upload)
{
    char (&transfer_buffer)[TRANSFER_BUFFER_SIZE + 1] = link.transfer_buffer;
    show_responses_heading(link);
    reset_http_reply(link);
    FlashConfirmation flash_done;
    long long total = 0;
    for (;;) {
        std::memset(transfer_buffer, 0, sizeof transfer_buffer);
        int count = 0;
        // The chunk read, or the limit, has set the run status.
        if (http_chunk_read(link, transfer_buffer, TRANSFER_BUFFER_SIZE, count) != LinkResult::ok ||
            !reply_within_limit(link, total, count)) {
            show_rest(link);
            connection_teardown(link);
            return Flow::closing_report;
        }
        if (firmware_upload && flash_done.found_in_new_text(link.response_store)) {
            show_rest(link);
            return Flow::go_on;
        }
        if (count == 0)
            break;
    }
    show_rest(link);
    if (firmware_upload) {
        note_cause(link.run, Cause::firmware_not_confirmed,
                   format_text("the replies of the processor at %s:%s never confirmed the firmware flash",
                               link.run.settings.server_address, link.run.settings.port_text));
        record_failure(link.run, RunCode::flash_unconfirmed);
    } else if (!link.http_reply.body_seen) {
        // Closed with no reply, or with its head alone: nothing tells that
        // the script was carried out, so the run cannot pass.
        log_error(link.run, "The MOX closed the connection without replying to the script.\r\n");
        note_cause(link.run, Cause::processor_closed,
                   format_text("the processor at %s:%s closed the connection without replying to the script",
                               link.run.settings.server_address, link.run.settings.port_text));
        record_failure(link.run, RunCode::read_failure);
    } else if (reply_cut_inside_chunk(link)) {
        // Cut inside a chunk: what the rest would have said is unknown.
        log_error(link.run, "The MOX closed the connection in the middle of its reply.\r\n");
        note_cause(link.run, Cause::processor_closed,
                   format_text("the processor at %s:%s closed the connection in the middle of its reply",
                               link.run.settings.server_address, link.run.settings.port_text));
        record_failure(link.run, RunCode::read_failure);
    }
    return Flow::go_on;
}
