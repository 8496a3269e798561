#include "link/processor_identity.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/locked_append.h"
#include "records/run_context.h"
#include "tests/unit/test_files.h"

// The line's host: the address alone for port 443, "address:port"
// otherwise, an IPv6 address in brackets when a port follows it.
TEST(ProcessorIdentity, HostOfTheLine)
{
    struct {
        const char* address;
        const char* port;
        const char* host;
    } cases[] = {
        {"mp7", "443", "mp7"},
        {"mp7", "444", "mp7:444"},
        {"10.0.0.1", "8443", "10.0.0.1:8443"},
        {"fe80::1", "443", "fe80::1"},
        {"fe80::1", "444", "[fe80::1]:444"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(known_processor_host(c.address, c.port), c.host) << c.address << " " << c.port;
}

// The first line that names the host, its number counted over comments and
// blank lines; a host that is only the start of another one does not match.
TEST(ProcessorIdentity, FindsTheHostsLine)
{
    const std::string content =
        "# lab\n"
        "\n"
        "mp7:444 sha256:AAA=\n"
        "  mp7\tsha256:BBB\r\n"
        "mp7 sha256:CCC\n";
    KnownLine port = find_known_processor(content, "mp7:444");
    EXPECT_EQ(port.number, 3);
    EXPECT_EQ(port.fingerprint, "sha256:AAA=");
    KnownLine plain = find_known_processor(content, "mp7");
    EXPECT_EQ(plain.number, 4);
    EXPECT_EQ(plain.fingerprint, "sha256:BBB");
    // Host names in any case.
    EXPECT_EQ(find_known_processor(content, "MP7:444").number, 3);
    EXPECT_EQ(find_known_processor("LOCALHOST sha256:DDD\n", "localhost").fingerprint, "sha256:DDD");
    EXPECT_EQ(find_known_processor("[FE80::1]:444 sha256:EEE\n", "[fe80::1]:444").number, 1);
    EXPECT_EQ(find_known_processor(content, "mp").number, 0);
    EXPECT_EQ(find_known_processor(content, "# lab").number, 0);
}

TEST(ProcessorIdentity, PaddingDoesNotMatter)
{
    EXPECT_TRUE(same_fingerprint("sha256:AAA=", "sha256:AAA"));
    EXPECT_FALSE(same_fingerprint("sha256:AAA=", "sha256:AAB="));
    EXPECT_FALSE(same_fingerprint("sha256:AAA", "sha256:AA"));
}

namespace {

// A folder of its own for the known-processors file, and a run whose
// console goes to files the test reads.
struct KnownFile : ::testing::Test {
    char folder[64] = "/tmp/quorvex-known-XXXXXX";
    std::string path;
    RunContext run;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(folder), nullptr);
        path = std::string(folder) + "/known";
        run.settings.known_processors_file = path.c_str();
        snprintf(run.settings.program_name, sizeof run.settings.program_name, "quorvex");
        run.console.out = tmpfile();
        run.console.errors = tmpfile();
    }
    void TearDown() override
    {
        fclose(run.console.out);
        fclose(run.console.errors);
        chmod(folder, 0700);
        unlink(path.c_str());
        unlink((std::string(folder) + "/planted").c_str());
        rmdir(folder);
    }
};

struct Exposure {
    const char* name;
    bool file_exists;
    mode_t file_mode;
    mode_t folder_mode;
    const char* reason;  // "": nothing to warn about
};

// A file others than its owner can change is warned about on standard error
// (the run goes on), and refused in strict mode before any connection.
TEST_F(KnownFile, ChangeableByOthersIsWarnedAboutOrRefusedWhenStrict)
{
    const std::string in_folder = std::string(" ") + folder;
    const Exposure rows[] = {
        {"owner alone", true, 0600, 0700, ""},
        {"readable by all", true, 0644, 0755, ""},
        {"group may write to it", true, 0660, 0700, "the group or others may write to it"},
        {"others may write to it", true, 0602, 0700, "the group or others may write to it"},
        {"others may write to its folder", true, 0600, 0777, "the group or others may write to its folder"},
        {"sticky folder, own file", true, 0600, 01777, ""},
        {"sticky folder, no file yet", false, 0, 01777, "the group or others may write to its folder"},
        {"group may write to the folder, no file yet", false, 0, 0770, "the group or others may write to its folder"},
    };
    for (const Exposure& row : rows) {
        for (bool strict : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (strict ? ", strict" : ""));
            unlink(path.c_str());
            if (row.file_exists) {
                std::ofstream(path) << "mp7 sha256:AAA=\n";
                chmod(path.c_str(), row.file_mode);
            }
            chmod(folder, row.folder_mode);
            run.state.run_status = 0;
            run.settings.known_processors_strict = strict;
            long out_before = ftell(run.console.out);
            long errors_before = ftell(run.console.errors);
            Flow flow = check_known_processors_file(run);
            std::string out = stream_text(run.console.out).substr(static_cast<size_t>(out_before));
            std::string errors = stream_text(run.console.errors).substr(static_cast<size_t>(errors_before));
            std::string reason = row.reason;
            if (reason.find("folder") != std::string::npos)
                reason += in_folder;
            if (reason.empty()) {
                EXPECT_EQ(flow, Flow::go_on);
                EXPECT_EQ(out + errors, "");
            } else if (!strict) {
                EXPECT_EQ(flow, Flow::go_on);
                EXPECT_EQ(errors, "Warning: the known-processors file " + path +
                                      " can be changed by others than its owner: " + reason + ".\n");
                EXPECT_EQ(out, "");
            } else {
                EXPECT_EQ(flow, Flow::end_now);
                EXPECT_EQ(run.state.run_status, -1);
                EXPECT_EQ(out, "quorvex: ERROR: The known-processors file " + path +
                                   " can be changed by others than its owner: " + reason +
                                   "; QUORVEX_KNOWN_PROCESSORS_MODE=strict does not trust it. Nothing was sent.\r\n");
            }
        }
    }
}

// A link that leads to nothing: refused before any connection, and the
// file it leads to is never made, not even by the append of a first
// contact.
TEST_F(KnownFile, LinkToNothingIsNeverFollowed)
{
    std::string planted = std::string(folder) + "/planted";
    ASSERT_EQ(symlink(planted.c_str(), path.c_str()), 0);
    EXPECT_EQ(check_known_processors_file(run), Flow::end_now);
    EXPECT_EQ(run.state.run_status, -1);
    EXPECT_EQ(append_line_once(path.c_str(), "mp7 sha256:AAA=\n", [](const std::string&) { return false; }),
              LockedAppend::failed);
    EXPECT_NE(access(planted.c_str(), F_OK), 0);
    // A link to a file that exists is the user's choice and is followed.
    std::ofstream(planted) << "";
    EXPECT_EQ(append_line_once(path.c_str(), "mp7 sha256:AAA=\n", [](const std::string&) { return false; }),
              LockedAppend::appended);
}

}  // namespace
