#include "link/image_transfer.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "driver/log_output.h"
#include "driver/run_settings.h"
#include "driver/run_state.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "script/actions.h"

unsigned transfer_flags = 0;

// The received floppy image waiting for the end of its command block. It
// has a buffer of its own: the image buffer is filled again by every later
// outgoing transfer.
static unsigned char received_image[IMAGE_BUFFER_SIZE];
static char floppy_destination[IMAGE_LOCATION_SIZE];
static int floppy_received_length = 0;

constexpr int LENGTH_FIELD_SIZE = 16;

static void console(const char* message)
{
    std::fputs(message, stdout);
}

static void copy_location(char (&path)[IMAGE_LOCATION_SIZE], const char* location)
{
    std::strncpy(path, location, IMAGE_LOCATION_SIZE - 1);
    path[IMAGE_LOCATION_SIZE - 1] = '\0';
}

// The commands' image location is used up by the transfer that read it.
static void clear_location()
{
    std::memset(image_location, 0, sizeof image_location);
}

// Size of an open file, measured from its start to its end; the file is
// left at its start.
static long file_size(FILE* file)
{
    std::fseek(file, 0, SEEK_SET);
    long start = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    long end = std::ftell(file);
    std::rewind(file);
    return end - start;
}

// Announces an outgoing image, waits for the processor's consent and sends
// the image. 0, or 1 when the processor did not accept the element.
static int announce_and_send(const char* element_format, const char* path, int length,
                             const char* refused, const char* sending)
{
    std::memset(transfer_buffer, 0, sizeof transfer_buffer);
    std::snprintf(transfer_buffer, sizeof transfer_buffer, element_format, path, length);
    clear_location();

    plain_send(transfer_buffer);
    if (response_check(transfer_buffer, TRANSFER_BUFFER_SIZE) != 0) {
        console(refused);
        return 1;
    }
    console(sending);
    image_send(image_buffer, length);
    return 0;
}

int firmware_image_transfer(const char* location)
{
    // HTTP mode uploads the firmware on its own.
    if (run_state.checking_pass || run_state.processor_generation != 0)
        return 0;

    std::memset(image_buffer, 0, sizeof image_buffer);
    char path[IMAGE_LOCATION_SIZE];
    copy_location(path, location);
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        console("Unable to open the firmware image update file\r\n");
        return 1;
    }
    if (file_size(file) > IMAGE_BUFFER_SIZE) {
        console("The firmware image file is not valid\r\n");
        std::fclose(file);
        return 1;
    }
    int length = static_cast<int>(std::fread(image_buffer, 1, IMAGE_BUFFER_SIZE, file));
    if (length == 0) {
        console("Unable to read the firmware image update file\r\n");
        std::fclose(file);
        return 1;
    }
    std::fclose(file);

    if (run_state.run_status != 0)
        return 1;
    if (announce_and_send("\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"%s\" IMAGE_LENGTH=\"%d\"/>\r\n", path, length,
                          "Unable to transmit the firmware image update file\r\n",
                          "Firmware image file is being sent ...\r\n") != 0)
        return 1;
    transfer_flags |= TRANSFER_FIRMWARE_SENT;
    return 0;
}

int floppy_image_insert(const char* location)
{
    // The local file checks run in the checking pass too.
    std::memset(image_buffer, 0, sizeof image_buffer);
    char path[IMAGE_LOCATION_SIZE];
    copy_location(path, location);
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        console("Unable to open the virtual floppy image file\r\n");
        return 1;
    }
    int length = static_cast<int>(std::fread(image_buffer, 1, IMAGE_BUFFER_SIZE, file));
    if (length == 0) {
        console("Unable to read the virtual floppy image file\r\n");
        std::fclose(file);
        return 1;
    }
    std::fclose(file);
    if (length > FLOPPY_IMAGE_MAX) {
        console("The virtual floppy image file size is too big\r\n");
        return 1;
    }
    if (run_state.checking_pass)
        return 0;

    if (run_state.run_status != 0)
        return 1;
    return announce_and_send("\r\n<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION=\"%s\" IMAGE_LENGTH=\"%d\"/>\r\n", path, length,
                             "Unable to transmit the virtual floppy image file\r\n",
                             "Virtual Floppy image file is being sent ...\r\n");
}

int floppy_image_copy(const char* location)
{
    if (run_state.checking_pass)
        return 0;
    std::memset(image_buffer, 0, sizeof image_buffer);
    if (run_state.run_status != 0)
        return 1;

    // A copy still waiting is written before this one takes its place.
    if (floppy_copy_flush() != 0)
        return 1;

    int announced = image_length_read();
    int result = 0;
    if (announced < 0) {
        console("Unable to receive the virtual floppy image length\r\n");
        result = 1;
    } else if (announced > IMAGE_BUFFER_SIZE) {
        std::printf("The virtual floppy image announced by the MOX is too big (%d bytes)\r\n", announced);
        result = 1;
    } else if (announced != 0) {
        console("Virtual Floppy image file is being copied ...\r\n");
        int received = image_receive(received_image, announced);
        if (received < announced) {
            // A short image is not written: the file would hold zeros in
            // place of the missing bytes.
            std::printf("The virtual floppy image was not received completely (%d of %d bytes)\r\n", received,
                        announced);
            result = 1;
        } else {
            floppy_received_length = announced;
            transfer_flags |= TRANSFER_FLOPPY_COPY_PENDING;
            copy_location(floppy_destination, location);
        }
    }
    clear_location();
    return result;
}

int floppy_image_write()
{
    if (run_state.checking_pass)
        return 0;
    if (transfer_flags & TRANSFER_FIRMWARE_SENT) {
        transfer_flags &= ~TRANSFER_FIRMWARE_SENT;
        return 1;
    }
    return floppy_copy_flush();
}

// Whether an open file may be removed after a failed write: a regular file
// that the write has left incomplete, never a device or a pipe.
static bool is_regular_file(FILE* file)
{
    struct stat status;
    return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

// A copy whose file cannot be written fails the run.
static int copy_not_written(const char* message)
{
    console(message);
    run_state.run_status = 1;
    return 1;
}

int floppy_copy_flush()
{
    if (run_state.checking_pass)
        return 0;
    if (run_state.run_status != 0)
        return 1;
    if (!(transfer_flags & TRANSFER_FLOPPY_COPY_PENDING))
        return 0;

    transfer_flags &= ~TRANSFER_FLOPPY_COPY_PENDING;
    FILE* file = std::fopen(floppy_destination, "wb");
    if (file == nullptr)
        return copy_not_written("Unable to open the virtual floppy image file\r\n");
    bool removable = is_regular_file(file);
    size_t length = static_cast<size_t>(floppy_received_length);
    size_t written = std::fwrite(received_image, 1, length, file);
    // A short write or a failed flush leaves a damaged image: remove it.
    if (std::fclose(file) != 0 || written != length) {
        if (removable)
            std::remove(floppy_destination);
        return copy_not_written("Unable to write the virtual floppy image file\r\n");
    }
    return 0;
}

int image_send(const unsigned char* buffer, int length)
{
    int sent = 0;
    while (sent < length) {
        int piece = length - sent < IMAGE_SEND_PIECE ? length - sent : IMAGE_SEND_PIECE;
        int written = tls_write(buffer + sent, piece);
        // A write that moves nothing would never finish: it failed as well.
        if (written <= 0) {
            log_info("Firmware Image: SEND_ERROR: Sending (%d):\r\n", written);
            return 6;
        }
        sent += written;
    }
    if (settings.verbose && (transfer_flags & TRANSFER_FIRMWARE_SENT))
        log_info("Firmware Image : Sent (%d):\r\n", sent);
    return 0;
}

int image_receive(unsigned char* buffer, int length)
{
    if (length <= 0)
        return 0;
    std::memset(buffer, 0, static_cast<size_t>(length));
    int count = 0;
    while (count < length) {
        // Never past the announced length, so never past the buffer.
        int room = length - count;
        int received = tls_read(buffer + count, room < IMAGE_SEND_PIECE ? room : IMAGE_SEND_PIECE);
        if (received <= 0)
            return count;
        count += received;
    }
    if (settings.verbose)
        log_info("Virtual Floppy Image : Received (%d):\r\n", count);
    return count;
}

static bool is_padding(char c)
{
    return c == ' ' || c == '\t' || c == '\'' || c == '"';
}

int image_length_read()
{
    char field[LENGTH_FIELD_SIZE + 1] = {};
    int count = tls_read(field, LENGTH_FIELD_SIZE);
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
