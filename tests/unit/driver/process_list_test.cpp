// What other users see of a run in the process list: a password given with
// -p is gone from the real process's command line once the run has read it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "tests/unit/test_files.h"

namespace {

constexpr const char* SECRET = "pw-in-the-list";

TEST(ProcessList, PasswordArgumentIsGoneOnceRead)
{
    char folder[64] = "/tmp/quorvex-process-list-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    // The run opens its script after the command line: a named pipe holds
    // it there while the test looks at it.
    std::string script = std::string(folder) + "/s.xml";
    ASSERT_EQ(mkfifo(script.c_str(), 0600), 0);
    pid_t pid = spawn_quiet(QUORVEX_PROGRAM, {"quorvex", "-c", "-s", "mp1", "-p", SECRET, "-f", script}, true);
    ASSERT_GT(pid, 0);

    // A writer can open the pipe once the run is opening it.
    int writer = -1;
    int status = 0;
    bool ended = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (writer < 0 && !ended && std::chrono::steady_clock::now() < deadline) {
        writer = open(script.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_GE(writer, 0) << (ended ? "the run ended before it opened its script" : "the run never opened its script");
    std::string command_line = file_text("/proc/" + std::to_string(pid) + "/cmdline");
    EXPECT_EQ(command_line.find(SECRET), std::string::npos);
    EXPECT_NE(command_line.find(std::string("-p") + '\0' + std::string(strlen(SECRET), 'x') + '\0'),
              std::string::npos);

    const std::string text = "<?xml version=\"1.0\"?>\n<MOXCL VERSION=\"2.0\">\n</MOXCL>\n";
    EXPECT_EQ(write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(writer);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    unlink(script.c_str());
    rmdir(folder);
}

}  // namespace
