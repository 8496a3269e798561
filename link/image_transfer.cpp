#include "link/image_transfer.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/whole_file.h"
#include "records/bounded_copy.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/progress_display.h"
#include "records/run_context.h"
#include "records/run_limits.h"
#include "records/results.h"
#include "link/image_kind.h"
#include "link/image_record.h"
#include "link/link.h"
#include "link/local_image.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"

constexpr int LENGTH_FIELD_SIZE = 16;

// Announces an outgoing image, waits for the processor's consent and sends
// the image: ok, or failed_command when the processor did not accept the
// element.
static LinkResult announce_and_send(Link& link, const ImageKind& kind, const char* path, int length)
{
    unsigned char* image_buffer = link.image_buffer.get();
    // A failed send shows in the response check that follows.
    static_cast<void>(plain_send(link, image_element(kind, path, length).c_str()));
    if (response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE) != LinkResult::ok) {
        console_only_text(link.run, kind.refused);
        // The processor's status and words about the image follow.
        if (link.run.state.cause.cause == Cause::processor_status)
            refine_cause(link.run, Cause::image_rejected, format_text("the processor refused the image \"%s\"", path));
        return LinkResult::failed_command;
    }
    console_only_text(link.run, kind.sending);
    progress_begin(link.run.progress, kind.progress_label, length);
    ImageRecord record(link.run, kind.report_kind, path);
    // A broken connection shows in the response check after the image.
    static_cast<void>(image_send(link, image_buffer, length));
    record.add(image_buffer, static_cast<size_t>(length));
    record.done();
    progress_end(link.run.progress);
    return LinkResult::ok;
}

// Reads the image a command names into the image buffer: its length, or
// -1 (said on the console).
static int read_named_image(Link& link, const char* location, const ImageKind& kind,
                            char (&path)[IMAGE_LOCATION_SIZE])
{
    unsigned char* image_buffer = link.image_buffer.get();
    std::memset(image_buffer, 0, IMAGE_BUFFER_SIZE + 1);
    copy_bounded(path, location);
    return read_local_image(link.run, path, kind, image_buffer, IMAGE_BUFFER_SIZE);
}

LinkResult firmware_image_transfer(Link& link, const char* location)
{
    // HTTP mode uploads the firmware on its own.
    if (link.run.state.checking_pass || link.run.state.processor_generation != ProcessorGeneration::stream)
        return LinkResult::ok;

    char path[IMAGE_LOCATION_SIZE];
    int length = read_named_image(link, location, FIRMWARE_IMAGE, path);
    if (length < 0)
        return LinkResult::failed_command;

    if (!run_going(link.run))
        return LinkResult::failed_command;
    if (announce_and_send(link, FIRMWARE_IMAGE, path, length) != LinkResult::ok)
        return LinkResult::failed_command;
    link.transfer_flags |= TRANSFER_FIRMWARE_SENT;
    return LinkResult::ok;
}

LinkResult floppy_image_insert(Link& link, const char* location)
{
    // The local file checks run in the checking pass too.
    char path[IMAGE_LOCATION_SIZE];
    int length = read_named_image(link, location, FLOPPY_IMAGE, path);
    if (length < 0)
        return LinkResult::failed_command;
    if (link.run.state.checking_pass)
        return LinkResult::ok;

    if (!run_going(link.run))
        return LinkResult::failed_command;
    return announce_and_send(link, FLOPPY_IMAGE, path, length);
}

LinkResult floppy_image_copy(Link& link, const char* location)
{
    PendingCopy& pending_copy = link.pending_copy;
    if (link.run.state.checking_pass)
        return LinkResult::ok;
    if (!run_going(link.run))
        return LinkResult::failed_command;

    // A copy still waiting is written before this one takes its place.
    if (floppy_copy_flush(link) != LinkResult::ok)
        return LinkResult::failed_command;

    int announced = image_length_read(link);
    LinkResult result = LinkResult::ok;
    if (announced < 0) {
        console_only_text(link.run, "Unable to receive the virtual floppy image length\r\n");
        note_cause(link.run, Cause::image_incomplete,
                   format_text("the length of the virtual floppy image for \"%s\" could not be read", location));
        result = LinkResult::failed_command;
    } else if (announced > IMAGE_BUFFER_SIZE) {
        console_only(link.run, "The virtual floppy image announced by the MOX is too big (%d bytes)\r\n", announced);
        note_cause(link.run, Cause::image_incomplete,
                   format_text("the virtual floppy image for \"%s\" announced by the processor is too big (%d bytes, "
                               "at most %d)",
                               location, announced, IMAGE_BUFFER_SIZE));
        result = LinkResult::failed_command;
    } else if (announced != 0) {
        console_only_text(link.run, "Virtual Floppy image file is being copied ...\r\n");
        // A buffer of its own: the image buffer is filled again by every
        // later outgoing transfer.
        pending_copy.image.assign(static_cast<size_t>(announced), 0);
        progress_begin(link.run.progress, "Receiving virtual floppy image", announced);
        ImageRecord record(link.run, "floppy_copy", location);
        int received = image_receive(link, pending_copy.image.data(), announced);
        progress_end(link.run.progress);
        record.add(pending_copy.image.data(), static_cast<size_t>(received > 0 ? received : 0));
        if (received >= announced)
            record.done();
        if (received < announced) {
            // A short image is not written: the file would hold zeros in
            // place of the missing bytes.
            console_only(link.run, "The virtual floppy image was not received completely (%d of %d bytes)\r\n", received,
                         announced);
            note_cause(link.run, Cause::image_incomplete,
                       format_text("the virtual floppy image for \"%s\" was not received completely (%d of %d bytes)",
                                   location, received > 0 ? received : 0, announced));
            result = LinkResult::failed_command;
        } else {
            link.transfer_flags |= TRANSFER_FLOPPY_COPY_PENDING;
            copy_bounded(pending_copy.destination, location);
        }
    }
    return result;
}

LinkResult floppy_image_write(Link& link)
{
    if (link.run.state.checking_pass)
        return LinkResult::ok;
    if (link.transfer_flags & TRANSFER_FIRMWARE_SENT) {
        link.transfer_flags &= ~TRANSFER_FIRMWARE_SENT;
        return LinkResult::failed_command;
    }
    return floppy_copy_flush(link);
}

// A copy whose file cannot be written fails the run (unless it has failed
// already: the first failure keeps its code).
static LinkResult copy_not_written(Link& link, const char* message, const std::string& reason)
{
    console_only_text(link.run, message);
    if (run_going(link.run)) {
        note_cause(link.run, Cause::image_not_written,
                   format_text("the virtual floppy image could not be written to \"%s\"%s%s",
                               link.pending_copy.destination, reason.empty() ? "" : ": ", reason.c_str()));
        record_failure(link.run, RunCode::failed_command);
    }
    return LinkResult::failed_command;
}

// Writes the copy that waits, if any. An image received whole is written
// however the run goes on: a later command's failure does not lose it.
LinkResult floppy_copy_flush(Link& link)
{
    if (link.run.state.checking_pass)
        return LinkResult::ok;
    if (!(link.transfer_flags & TRANSFER_FLOPPY_COPY_PENDING))
        return run_going(link.run) ? LinkResult::ok : LinkResult::failed_command;

    link.transfer_flags &= ~TRANSFER_FLOPPY_COPY_PENDING;
    const PendingCopy& pending_copy = link.pending_copy;
    std::string reason;
    // A regular file gets the image through a new file beside it, renamed
    // into place once whole: a failed write leaves no damaged image and
    // removes nothing the run did not make.
    std::string destination = in_run_folder(link.run.settings, pending_copy.destination);
    make_run_folder(link.run.settings);
    switch (write_file_whole(destination.c_str(), pending_copy.image.data(), pending_copy.image.size(), reason)) {
    case WholeFile::not_opened:
        return copy_not_written(link, FLOPPY_IMAGE.not_opened, reason);  // the same words as for an image to send
    case WholeFile::not_written:
        return copy_not_written(link, "Unable to write the virtual floppy image file\r\n", reason);
    case WholeFile::written:
        break;
    }
    return run_going(link.run) ? LinkResult::ok : LinkResult::failed_command;
}

LinkResult image_send(Link& link, const unsigned char* buffer, int length)
{
    // The records before the image leave first, and a failure to send them
    // is theirs, not the image's.
    if (tls_flush(link) != LinkResult::ok)
        return LinkResult::write_failure;
    int sent = 0;
    while (sent < length) {
        int piece = length - sent < IMAGE_SEND_PIECE ? length - sent : IMAGE_SEND_PIECE;
        int written = tls_write(link, buffer + sent, piece);
        // A write that moves nothing would never finish: it failed as well.
        if (written <= 0) {
            log_info(link.run, "Firmware Image: SEND_ERROR: Sending (%d):\r\n", written);
            return LinkResult::write_failure;
        }
        sent += written;
        progress_advance(link.run.progress, written);
    }
    if (link.run.settings.verbose && (link.transfer_flags & TRANSFER_FIRMWARE_SENT))
        log_info(link.run, "Firmware Image : Sent (%d):\r\n", sent);
    return LinkResult::ok;
}

int image_receive(Link& link, unsigned char* buffer, int length)
{
    if (length <= 0)
        return 0;
    std::memset(buffer, 0, static_cast<size_t>(length));
    int count = 0;
    while (count < length) {
        // Never past the announced length, so never past the buffer.
        int room = length - count;
        int received = tls_read(link, buffer + count, room < IMAGE_SEND_PIECE ? room : IMAGE_SEND_PIECE);
        if (received <= 0)
            return count;
        count += received;
        progress_advance(link.run.progress, received);
    }
    if (link.run.settings.verbose)
        log_info(link.run, "Virtual Floppy Image : Received (%d):\r\n", count);
    return count;
}

static bool is_padding(char c)
{
    return c == ' ' || c == '\t' || c == '\'' || c == '"';
}

int image_length_read(Link& link)
{
    char field[LENGTH_FIELD_SIZE + 1] = {};
    int count = tls_read(link, field, LENGTH_FIELD_SIZE);
    if (count <= 0)
        return -1;

    int begin = 0;
    int end = static_cast<int>(std::strlen(field));
    while (begin < end && is_padding(field[begin]))
        ++begin;
    while (end > begin && is_padding(field[end - 1]))
        --end;

    // Leading decimal digits; a value beyond int saturates and is refused by
    // the caller like any other oversized length.
    long long value = 0;
    for (int i = begin; i < end && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > INT_MAX) {
            value = INT_MAX;
            break;
        }
    }
    return static_cast<int>(value);
}
