// QUORVEX_PASSWORD_FILE: what a password source gives, and what it must not
// give: nothing (the script's own password would go out in its place), a
// password cut at a NUL byte, or a wait without end.
#include "driver/password_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "records/run_context.h"
#include "tests/unit/test_files.h"

namespace {

struct PasswordFile : ::testing::Test {
    char folder[64] = "/tmp/quorvex-password-file-XXXXXX";
    std::string path;
    RunContext run;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(folder), nullptr);
        path = std::string(folder) + "/pw";
        setenv("QUORVEX_PASSWORD_FILE", path.c_str(), 1);
        run.console.out = tmpfile();
    }
    void TearDown() override
    {
        unsetenv("QUORVEX_PASSWORD_FILE");
        fclose(run.console.out);
        unlink(path.c_str());
        rmdir(folder);
    }
    // What the run printed on its standard output so far.
    std::string shown() { return stream_text(run.console.out); }
};

struct Source {
    const char* name;
    std::string content;
    const char* password;  // nullptr: refused
    const char* message;   // the end of the refusal's line
};

TEST_F(PasswordFile, EmptyOrCutPasswordsAreRefused)
{
    const Source sources[] = {
        {"first line", "pw\r\nsecond\n", "pw", nullptr},
        {"no line end", "pw", "pw", nullptr},
        {"blanks are a password", " \n", " ", nullptr},
        {"empty file", "", nullptr, "gives no password (its first line is empty). Nothing was sent.\r\n"},
        {"one empty line", "\n", nullptr, "gives no password (its first line is empty). Nothing was sent.\r\n"},
        {"one empty CR LF line", "\r\nlater\n", nullptr,
         "gives no password (its first line is empty). Nothing was sent.\r\n"},
        {"NUL inside", std::string("sec\0ret\n", 8), nullptr,
         "holds a NUL byte in its first line, which no password can hold. Nothing was sent.\r\n"},
        {"NUL alone", std::string("\0\n", 2), nullptr,
         "holds a NUL byte in its first line, which no password can hold. Nothing was sent.\r\n"},
    };
    for (const Source& source : sources) {
        SCOPED_TRACE(source.name);
        run.settings.password = "";
        FILE* file = fopen(path.c_str(), "wb");
        fwrite(source.content.data(), 1, source.content.size(), file);
        fclose(file);
        chmod(path.c_str(), 0600);
        long before = ftell(run.console.out);
        EXPECT_EQ(take_password_file(run), source.password != nullptr);
        if (source.password) {
            EXPECT_EQ(std::string(run.settings.password), source.password);
            EXPECT_EQ(ftell(run.console.out), before);
        } else {
            EXPECT_STREQ(run.settings.password, "");
            EXPECT_EQ(shown().substr(static_cast<size_t>(before)),
                      "The password file " + path + " " + source.message);
        }
    }
}

// A named pipe: opening it waits for no writer, a writer that comes late is
// waited for, and one that never comes is given up after the time limit.
TEST_F(PasswordFile, NamedPipeIsWaitedForWithinTheLimit)
{
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    run.settings.connect_wait_seconds = 5;
    std::thread writer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        int pipe = open(path.c_str(), O_WRONLY);
        ASSERT_GE(pipe, 0);
        ASSERT_EQ(write(pipe, "late\n", 5), 5);
        close(pipe);
    });
    EXPECT_TRUE(take_password_file(run));
    writer.join();
    EXPECT_STREQ(run.settings.password, "late");

    run.settings.password = "";
    run.settings.connect_wait_seconds = 1;
    EXPECT_FALSE(take_password_file(run));
    EXPECT_STREQ(run.settings.password, "");
    EXPECT_EQ(shown(), "The password file " + path +
                           " gave no line within 1 second (QUORVEX_TIMEOUT). Nothing was sent.\r\n");
}

}  // namespace
