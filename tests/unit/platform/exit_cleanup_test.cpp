#include <gtest/gtest.h>

#include <filesystem>

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
#include "records/run_slots.h"

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
        std::string reason;
        FILE* file = create_private_file(name.c_str(), reason);
        remove_at_process_end(0, name.c_str());
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
        {"end of the run", [] { remove_armed_file(0); std::exit(3); }, true, 0},
        {"SIGINT", [] { raise(SIGINT); }, true, SIGINT},
        {"SIGTERM", [] { raise(SIGTERM); }, true, SIGTERM},
        {"SIGHUP", [] { raise(SIGHUP); }, true, SIGHUP},
        {"kept", [] { keep_at_process_end(0); remove_armed_file(0); std::exit(0); }, false, 0},
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

// A signal the caller set to be ignored (SIGHUP under nohup) stays ignored
// once the file is armed: the process lives on, and the file stays until
// the run itself removes it.
TEST(ExitCleanup, AnIgnoredSignalStaysIgnored)
{
    std::string name = ::testing::TempDir() + "quorvex-cleanup-nohup";
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        std::signal(SIGHUP, SIG_IGN);
        std::string reason;
        FILE* file = create_private_file(name.c_str(), reason);
        remove_at_process_end(0, name.c_str());
        std::fclose(file);
        raise(SIGHUP);
        struct stat info {};
        int still_there = stat(name.c_str(), &info) == 0 ? 7 : 8;
        remove_armed_file(0);
        _exit(still_there);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 7);
    EXPECT_FALSE(exists(name));
    std::remove(name.c_str());
}

// Runs going side by side each arm their own working copy and their own
// ending hook: a signal removes every armed file and calls every hook, and
// a run that ends removes its own file alone.
int hooks_called = 0;

TEST(ExitCleanup, ASignalCleansUpAfterEveryRunOfTheProcess)
{
    const int slots[] = {0, 7, RUN_SLOTS - 1};
    std::string base = ::testing::TempDir() + "quorvex-cleanup-slot-";
    std::string done = base + "done";
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        for (int slot : slots) {
            std::string name = base + std::to_string(slot);
            std::string reason;
            std::fclose(create_private_file(name.c_str(), reason));
            remove_at_process_end(slot, name.c_str());
            // Only a hook that runs for every slot writes the last file.
            call_at_process_end(slot, [](int, int, long long) {
                if (++hooks_called == 3) {
                    std::string reason;
                    std::fclose(create_private_file((::testing::TempDir() + "quorvex-cleanup-slot-done").c_str(),
                                                    reason));
                }
            });
        }
        // A run that ends takes its own file away, and no other.
        std::string other = base + "3";
        std::string reason;
        std::fclose(create_private_file(other.c_str(), reason));
        remove_at_process_end(3, other.c_str());
        remove_armed_file(3);
        _exit(exists(other) || !exists(base + "0") ? 9 : (raise(SIGTERM), 8));
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : 0);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    for (int slot : slots) {
        EXPECT_FALSE(exists(base + std::to_string(slot))) << "slot " << slot;
        std::remove((base + std::to_string(slot)).c_str());
    }
    EXPECT_TRUE(exists(done)) << "not every slot's hook was called";
    std::remove(done.c_str());
}

TEST(PrivateFile, OnlyItsOwnerMayReadIt)
{
    std::string name = ::testing::TempDir() + "quorvex-private";
    // A file left with wider permissions is narrowed as it is emptied.
    FILE* old = std::fopen(name.c_str(), "w");
    std::fputs("old text", old);
    std::fclose(old);
    chmod(name.c_str(), 0644);
    std::string reason;
    FILE* file = create_private_file(name.c_str(), reason);
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    struct stat info {};
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 0);
    std::remove(name.c_str());
}

std::string file_text(const std::string& name)
{
    std::string text;
    if (FILE* in = std::fopen(name.c_str(), "rb")) {
        char buffer[256];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            text.append(buffer, got);
        std::fclose(in);
    }
    return text;
}

// Whoever can write to the folder may have put a link where the program
// makes its own files: the link's target is never written, emptied or
// opened for them.
TEST(PrivateFile, NeverWrittenThroughALink)
{
    std::string folder = ::testing::TempDir() + "quorvex-links-" + std::to_string(getpid()) + "/";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string target = folder + "target";
    std::string link = folder + "mp1-var.xml";
    FILE* out = std::fopen(target.c_str(), "w");
    std::fputs("precious", out);
    std::fclose(out);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    struct stat before {};
    ASSERT_EQ(stat(target.c_str(), &before), 0);

    std::string reason;
    EXPECT_EQ(create_private_file(link.c_str(), reason), nullptr);
    EXPECT_NE(reason.find("not a regular file"), std::string::npos) << reason;
    EXPECT_EQ(open_private_file(link.c_str()), nullptr);
    EXPECT_EQ(open_log_output(link.c_str(), false), nullptr);
    EXPECT_EQ(file_text(target), "precious");
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode, before.st_mode);

    // A log named by the user (-l) is the user's choice: a link is followed.
    FILE* log = open_log_output(link.c_str(), true);
    ASSERT_NE(log, nullptr);
    std::fclose(log);
    EXPECT_EQ(file_text(target), "");

    // A folder of that name is refused too.
    std::string folder_copy = folder + "sub-var.xml";
    ASSERT_EQ(mkdir(folder_copy.c_str(), 0700), 0);
    EXPECT_EQ(create_private_file(folder_copy.c_str(), reason), nullptr);

    // A new log is its owner's alone.
    std::string fresh = folder + "mp1";
    log = open_log_output(fresh.c_str(), false);
    ASSERT_NE(log, nullptr);
    std::fclose(log);
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    std::filesystem::remove_all(folder);
}

}  // namespace
