#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/exit_cleanup.h"
#include "platform/private_file.h"

namespace {

bool exists(const std::string& name)
{
    struct stat info {};
    return stat(name.c_str(), &info) == 0;
}

// Runs how_it_ends in a child process that has armed a file for removal;
// returns the child's wait status.
int end_child(const std::string& name, const std::function<void()>& how_it_ends)
{
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        FILE* file = create_private_file(name.c_str());
        remove_at_process_end(name.c_str());
        std::fputs("secret", file);
        std::fclose(file);
        how_it_ends();
        _exit(0);  // only reached when how_it_ends returns
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST(ExitCleanup, TheArmedFileGoesHoweverTheProcessEnds)
{
    struct Ending {
        const char* name;
        std::function<void()> run;
        bool removed;
        int signal_number;  // the signal that ended the child, or 0
    };
    const Ending endings[] = {
        {"end of the run", [] { remove_armed_file(); std::exit(3); }, true, 0},
        {"SIGINT", [] { raise(SIGINT); }, true, SIGINT},
        {"SIGTERM", [] { raise(SIGTERM); }, true, SIGTERM},
        {"SIGHUP", [] { raise(SIGHUP); }, true, SIGHUP},
        {"kept", [] { keep_at_process_end(); remove_armed_file(); std::exit(0); }, false, 0},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        std::string name = ::testing::TempDir() + "quorvex-cleanup-" + ending.name;
        int status = end_child(name, ending.run);
        if (ending.signal_number != 0) {
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), ending.signal_number);
        } else {
            EXPECT_TRUE(WIFEXITED(status));
        }
        EXPECT_EQ(exists(name), !ending.removed);
        std::remove(name.c_str());
    }
}

TEST(PrivateFile, OnlyItsOwnerMayReadIt)
{
    std::string name = ::testing::TempDir() + "quorvex-private";
    // A file left with wider permissions is narrowed as it is emptied.
    FILE* old = std::fopen(name.c_str(), "w");
    std::fputs("old text", old);
    std::fclose(old);
    chmod(name.c_str(), 0644);
    FILE* file = create_private_file(name.c_str());
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    struct stat info {};
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 0);
    std::remove(name.c_str());
}

}  // namespace
