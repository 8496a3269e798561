#include <gtest/gtest.h>

#include <filesystem>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>

#include "sim_peer.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::string image_bytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
    return bytes;
}

std::string temp_path(const char* name)
{
    return ::testing::TempDir() + "quorvex-link-" + name;
}

// A device that is always full. As root, a node of the test's own: a
// product that wrongly replaced or removed the file it was told to write
// could otherwise destroy the system's /dev/full; another user cannot.
std::string full_device()
{
    if (geteuid() != 0)
        return "/dev/full";
    std::string path = temp_path("full");
    std::remove(path.c_str());
    if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        ADD_FAILURE() << "cannot make a full device " << path << ": " << std::strerror(errno);
    return path;
}

std::string write_image(const char* name, size_t size)
{
    std::string path = temp_path(name);
    std::ofstream(path, std::ios::binary) << image_bytes(size);
    return path;
}

std::string file_contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool file_exists(const std::string& path)
{
    return std::ifstream(path).good();
}

std::string element(const char* command, const std::string& path, size_t length)
{
    return "\r\n<" + std::string(command) + " IMAGE_LOCATION=\"" + path + "\" IMAGE_LENGTH=\"" +
           std::to_string(length) + "\"/>\r\n";
}

// The commands' image location, as the keep image location action fills it.
struct Location {
    char field[IMAGE_LOCATION_SIZE];
    const char* text = field;
    explicit Location(const std::string& path)
    {
        std::snprintf(field, sizeof field, "%s", path.c_str());
    }
};

class ImageTransfer : public LinkTest {};

TEST_F(ImageTransfer, FirmwareGoesOutInPiecesAfterTheProcessorsConsent)
{
    std::string path = write_image("fw40000.bin", 40000);
    SimPeer processor(link, {read_until("/>\r\n"), send_step(response_text("0x0000", "ok")), read_bytes(40000)});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    Location location(path);
    CaptureStdout();
    EXPECT_EQ(firmware_image_transfer(link, location.text), LinkResult::ok);
    EXPECT_EQ(GetCapturedStdout(), "Firmware image file is being sent ...\r\n");
    EXPECT_TRUE(link.transfer_flags & TRANSFER_FIRMWARE_SENT);
    processor.finish();
    EXPECT_EQ(processor.received, element("UPDATE_MOX_FIRMWARE", path, 40000) + image_bytes(40000));
    EXPECT_EQ(processor.read_sizes, (std::vector<int>{16384, 16384, 7232}));
}

TEST_F(ImageTransfer, LargestFirmwareAndFloppyImagesAreSentWhole)
{
    struct Case {
        size_t size;
        bool firmware;
    };
    for (Case c : {Case{4194304, true}, Case{1475000, false}}) {
        std::string path = write_image("largest.bin", c.size);
        SimPeer processor(link, {read_until("/>\r\n"), send_step(response_text("0x0000", "ok")), read_bytes(c.size)});
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        Location location(path);
        CaptureStdout();
        EXPECT_EQ(c.firmware ? firmware_image_transfer(link, location.text) : floppy_image_insert(link, location.text), LinkResult::ok);
        GetCapturedStdout();
        processor.finish();
        const char* command = c.firmware ? "UPDATE_MOX_FIRMWARE" : "INSERT_VIRTUAL_FLOPPY";
        EXPECT_TRUE(processor.received == element(command, path, c.size) + image_bytes(c.size)) << c.size;
    }
}

TEST_F(ImageTransfer, RefusedElementSendsNoImage)
{
    std::string path = write_image("fw100.bin", 100);
    SimPeer processor(link, {read_until("/>\r\n"), send_step(response_text("0x0005", "No firmware"))});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    Location location(path);
    CaptureStdout();
    EXPECT_EQ(firmware_image_transfer(link, location.text), LinkResult::failed_command);
    std::string console = GetCapturedStdout();
    EXPECT_NE(console.find("Unable to transmit the firmware image update file\r\n"), std::string::npos);
    EXPECT_EQ(run.state.run_status, 5);
    EXPECT_FALSE(link.transfer_flags & TRANSFER_FIRMWARE_SENT);
    processor.finish();
    EXPECT_EQ(processor.received, element("UPDATE_MOX_FIRMWARE", path, 100));
}

TEST_F(ImageTransfer, LocalFileChecksFailTheCommand)
{
    std::string missing = temp_path("missing.bin");
    std::string empty = write_image("empty.bin", 0);
    std::string big_firmware = write_image("fw-big.bin", 4194305);
    std::string big_floppy = write_image("floppy-big.img", 1475001);
    // A pipe with no writer would keep the open waiting for ever, a
    // character device would be read from no end of data.
    std::string pipe = temp_path("floppy.fifo");
    std::remove(pipe.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        const char* name;
        bool firmware;
        bool checking_pass;
        std::string path;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {"firmware missing", true, false, missing, 1, "Unable to open the firmware image update file\r\n"},
        {"firmware empty", true, false, empty, 1, "Unable to read the firmware image update file\r\n"},
        {"firmware too large", true, false, big_firmware, 1, "The firmware image file is not valid\r\n"},
        {"firmware missing, checking pass", true, true, missing, 0, ""},
        {"firmware from a pipe", true, false, pipe, 1, "The firmware image file is not a regular file\r\n"},
        {"firmware from a device", true, false, "/dev/zero", 1, "The firmware image file is not a regular file\r\n"},
        {"floppy missing", false, false, missing, 1, "Unable to open the virtual floppy image file\r\n"},
        {"floppy empty", false, true, empty, 1, "Unable to read the virtual floppy image file\r\n"},
        {"floppy too large", false, true, big_floppy, 1, "The virtual floppy image file size is too big\r\n"},
        {"floppy largest", false, true, write_image("floppy-ok.img", 1475000), 0, ""},
        {"floppy from a pipe", false, true, pipe, 1, "The virtual floppy image file is not a regular file\r\n"},
        {"floppy from a device", false, false, "/dev/zero", 1, "The virtual floppy image file is not a regular file\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run.state.checking_pass = c.checking_pass;
        Location location(c.path);
        CaptureStdout();
        int result = static_cast<int>(c.firmware ? firmware_image_transfer(link, location.text) : floppy_image_insert(link, location.text));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(GetCapturedStdout(), c.message);
    }
    EXPECT_EQ(run.state.run_status, 0);
}

TEST_F(ImageTransfer, CopiedFloppyIsWrittenAtTheEndOfItsBlockOnly)
{
    std::string image = image_bytes(1474560);
    SimPeer processor(link, {send_step("  '1474560'  "), send_step(image.substr(0, 700000)),
                             send_step(image.substr(700000))});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    std::string destination = temp_path("copy.img");
    std::remove(destination.c_str());
    Location location(destination);
    CaptureStdout();
    EXPECT_EQ(floppy_image_copy(link, location.text), LinkResult::ok);
    EXPECT_EQ(GetCapturedStdout(), "Virtual Floppy image file is being copied ...\r\n");
    EXPECT_FALSE(file_exists(destination));

    // A firmware image sent in between holds the write back by one block.
    link.transfer_flags |= TRANSFER_FIRMWARE_SENT;
    EXPECT_EQ(floppy_image_write(link), LinkResult::failed_command);
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(floppy_image_write(link), LinkResult::ok);
    EXPECT_EQ(file_contents(destination), image);
    EXPECT_EQ(link.transfer_flags, 0u);
    EXPECT_EQ(floppy_image_write(link), LinkResult::ok);
}

TEST_F(ImageTransfer, CopyWithoutAWholeImageFailsAndWritesNothing)
{
    struct Case {
        const char* name;
        std::vector<ByteStep> steps;
        const char* message;
    };
    const Case cases[] = {
        {"no length", {close_step()}, "Unable to receive the virtual floppy image length\r\n"},
        {"length past the buffer", {send_step("4194305")}, "The virtual floppy image announced by the MOX is too big (4194305 bytes)\r\n"},
        {"image cut short", {send_step("1000"), send_step(std::string(600, 'x')), close_step()},
         "Virtual Floppy image file is being copied ...\r\n"
         "The virtual floppy image was not received completely (600 of 1000 bytes)\r\n"},
    };
    std::string destination = temp_path("short.img");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(destination.c_str());
        SimPeer processor(link, c.steps);
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        Location location(destination);
        CaptureStdout();
        EXPECT_EQ(floppy_image_copy(link, location.text), LinkResult::failed_command);
        EXPECT_EQ(GetCapturedStdout(), c.message);
        EXPECT_FALSE(link.transfer_flags & TRANSFER_FLOPPY_COPY_PENDING);
        EXPECT_EQ(floppy_image_write(link), LinkResult::ok);
        EXPECT_FALSE(file_exists(destination));
        processor.finish();
    }
}

TEST_F(ImageTransfer, UnwritableDestinationIsReportedAndDropped)
{
    SimPeer processor(link, {send_step("3"), send_step("abc")});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    Location location(temp_path("no-such-folder/copy.img"));
    CaptureStdout();
    EXPECT_EQ(floppy_image_copy(link, location.text), LinkResult::ok);
    EXPECT_EQ(floppy_image_write(link), LinkResult::failed_command);
    EXPECT_NE(GetCapturedStdout().find("Unable to open the virtual floppy image file\r\n"), std::string::npos);
    EXPECT_FALSE(link.transfer_flags & TRANSFER_FLOPPY_COPY_PENDING);
}

TEST_F(ImageTransfer, EachReceivedCopyKeepsItsOwnImageAndFile)
{
    std::string first_image = image_bytes(1000);
    std::string second_image(800, 'b');
    SimPeer processor(link, {send_step("'1000'"), send_step(first_image), send_step("'800'"), send_step(second_image)});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    std::string first = temp_path("first.img");
    std::string second = temp_path("second.img");
    std::remove(first.c_str());
    std::remove(second.c_str());
    CaptureStdout();
    EXPECT_EQ(floppy_image_copy(link, Location(first).text), LinkResult::ok);
    // Later transfers fill the image buffer with their own bytes.
    std::memset(link.image_buffer.get(), 0xEE, 4096);
    EXPECT_FALSE(file_exists(first));
    // The next copy writes the waiting one before it takes its place.
    EXPECT_EQ(floppy_image_copy(link, Location(second).text), LinkResult::ok);
    EXPECT_EQ(file_contents(first), first_image);
    EXPECT_FALSE(file_exists(second));
    // Held back by a firmware image, it is written when the script ends.
    link.transfer_flags |= TRANSFER_FIRMWARE_SENT;
    EXPECT_EQ(floppy_image_write(link), LinkResult::failed_command);
    EXPECT_FALSE(file_exists(second));
    EXPECT_EQ(floppy_copy_flush(link), LinkResult::ok);
    EXPECT_EQ(file_contents(second), second_image);
    EXPECT_EQ(link.transfer_flags, 0u);
    GetCapturedStdout();
    EXPECT_EQ(run.state.run_status, 0);
}

TEST_F(ImageTransfer, CopyThatCannotBeWrittenFailsTheRunAndLeavesNoFile)
{
    struct Case {
        std::string destination;
        const char* message;
    };
    const std::string full = full_device();
    const Case cases[] = {
        {temp_path("no-such-folder/copy.img"), "Unable to open the virtual floppy image file\r\n"},
        {full, "Unable to write the virtual floppy image file\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        run.state.run_status = 0;
        SimPeer processor(link, {send_step("5000"), send_step(image_bytes(5000))});
        ASSERT_EQ(SIO_connect(link), Flow::go_on);
        CaptureStdout();
        EXPECT_EQ(floppy_image_copy(link, Location(c.destination).text), LinkResult::ok);
        EXPECT_EQ(floppy_image_write(link), LinkResult::failed_command);
        EXPECT_EQ(GetCapturedStdout(), std::string("Virtual Floppy image file is being copied ...\r\n") + c.message);
        EXPECT_EQ(run.state.run_status, 1);
        EXPECT_FALSE(link.transfer_flags & TRANSFER_FLOPPY_COPY_PENDING);
        connection_teardown(link);
        processor.finish();
    }
    // A device that refused the image is left in place.
    struct stat device;
    ASSERT_EQ(lstat(full.c_str(), &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode));
}

// Writes a pending copy of 100000 bytes to destination with files limited
// to 4096 bytes; exits 0 when the write failed the run, no file of the
// failed write stays beside destination, and destination holds before (or
// is not there, when before is empty).
[[noreturn]] void write_damaged_copy(Link& link, const std::string& destination, const std::string& before = "")
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    link.pending_copy.image.assign(100000, 'x');
    std::snprintf(link.pending_copy.destination, sizeof link.pending_copy.destination, "%s", destination.c_str());
    link.transfer_flags |= TRANSFER_FLOPPY_COPY_PENDING;
    bool failed = floppy_copy_flush(link) == LinkResult::failed_command && link.run.state.run_status == 1;
    std::string left;
    bool there = false;
    if (FILE* in = std::fopen(destination.c_str(), "rb")) {
        there = true;
        char buffer[64];
        left.assign(buffer, std::fread(buffer, 1, sizeof buffer, in));
        std::fclose(in);
    }
    bool beside = false;
    std::filesystem::path path(destination);
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path()))
        beside |= entry.path().filename().string().find(path.filename().string() + ".partial") != std::string::npos;
    bool kept = before.empty() ? !there : left == before;
    std::exit(failed && kept && !beside ? 0 : 1);
}

// A regular file that took only part of the image is removed: a damaged
// image never stays behind.
TEST_F(ImageTransfer, DamagedCopyFileIsRemoved)
{
    std::string destination = temp_path("damaged.img");
    std::remove(destination.c_str());
    EXPECT_EXIT(write_damaged_copy(link, destination), ::testing::ExitedWithCode(0), "");
}

// A copy that fails over an existing file never destroys it: the image goes
// to a new file beside it first, and only that new file is removed.
TEST_F(ImageTransfer, FailedCopyLeavesTheFileThatWasThere)
{
    std::string destination = temp_path("kept.img");
    FILE* out = std::fopen(destination.c_str(), "wb");
    std::fputs("old image", out);
    std::fclose(out);
    EXPECT_EXIT(write_damaged_copy(link, destination, "old image"), ::testing::ExitedWithCode(0), "");
    std::remove(destination.c_str());
}

TEST_F(ImageTransfer, LengthFieldsAreTrimmedAndBounded)
{
    SimPeer processor(link, {send_step("  '1474560'  "), send_step("\"42\"\t"), send_step("abc"),
                             send_step("1234567890123456"), send_step("\t' 7 '")});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    EXPECT_EQ(image_length_read(link), 1474560);
    EXPECT_EQ(image_length_read(link), 42);
    EXPECT_EQ(image_length_read(link), 0);
    EXPECT_EQ(image_length_read(link), INT_MAX);
    EXPECT_EQ(image_length_read(link), 7);
}

TEST_F(ImageTransfer, ReceiveNeverAsksForMoreThanTheRoomLeft)
{
    SimPeer processor(link, {send_step(std::string(3000, 'y'))});
    ASSERT_EQ(SIO_connect(link), Flow::go_on);
    run.settings.verbose = true;
    std::vector<unsigned char> room(1000);
    EXPECT_EQ(image_receive(link, room.data(), 1000), 1000);
    EXPECT_EQ(log_text(), "quorvex: Virtual Floppy Image : Received (1000):\r\n");
}

TEST_F(ImageTransfer, FailedImageWriteIsReportedWithoutTouchingRunStatus)
{
    const unsigned char bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(image_send(link, bytes, 4), LinkResult::write_failure);
    EXPECT_EQ(run.state.run_status, 0);
    EXPECT_EQ(log_text(), "quorvex: Firmware Image: SEND_ERROR: Sending (-1):\r\n");
}

}  // namespace
