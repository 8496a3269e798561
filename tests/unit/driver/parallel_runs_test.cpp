// Two complete runs in one process at once, each on a context of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/run.h"
#include "records/run_context.h"
#include "tests/unit/test_files.h"

namespace {

namespace fs = std::filesystem;

// A simulated processor in a process of its own, recording what it
// receives on each connection.
class Processor {
public:
    Processor(const char* generation, const fs::path& folder) : record_(folder / "record")
    {
        fs::create_directories(record_);
        fs::path port_file = folder / "port";
        std::vector<std::string> words = {QUORVEX_MPSIM,   "--generation", generation,           "--port-file",
                                          port_file.string(), "--record",   record_.string(), "--timeout", "30"};
        pid_ = spawn_quiet(QUORVEX_MPSIM, words, false);
        if (pid_ < 0)
            return;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (port_.empty() && std::chrono::steady_clock::now() < deadline) {
            std::string text = file_text(port_file);
            if (text.find('\n') != std::string::npos)
                port_ = text.substr(0, text.find('\n'));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~Processor()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    const std::string& port() const { return port_; }
    // How many connections it has recorded.
    int connections() const
    {
        int count = 0;
        while (fs::exists(record_ / ("conn-" + std::to_string(count + 1) + ".received")))
            ++count;
        return count;
    }
    // What it received on connections first to last, each marked.
    std::string received(int first, int last) const
    {
        std::string wire;
        for (int number = first; number <= last; ++number)
            wire += "[connection]\n" + file_text(record_ / ("conn-" + std::to_string(number) + ".received"));
        return wire;
    }

private:
    fs::path record_;
    pid_t pid_ = -1;
    std::string port_;
};

struct Outcome {
    int status = -1;
    std::string console;
    std::string errors;
    std::string log;
};

// One whole run, as the command line words ask for, with its console
// kept in files of its own.
Outcome run_once(std::vector<std::string> words, const fs::path& log)
{
    words.insert(words.begin(), "quorvex");
    words.push_back("-l");
    words.push_back(log.string());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    RunContext run;
    run.console.out = std::tmpfile();
    run.console.errors = std::tmpfile();
    Outcome outcome;
    outcome.status = run_quorvex(run, static_cast<int>(words.size()), argv.data());
    outcome.console = stream_text(run.console.out);
    outcome.errors = stream_text(run.console.errors);
    std::fclose(run.console.out);
    std::fclose(run.console.errors);
    outcome.log = file_text(log);
    return outcome;
}

void expect_same(const Outcome& together, const Outcome& alone, const char* name)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(together.status, alone.status);
    EXPECT_EQ(together.console, alone.console);
    EXPECT_EQ(together.errors, alone.errors);
    EXPECT_EQ(together.log, alone.log);
}

// A stream-mode run and an HTTP-mode run (verbose, the reply traced)
// against processors of their own: run side by side in two threads, each
// gives exactly the exit status, console, log and wire bytes it gives
// when it runs alone.
TEST(ParallelRuns, TwoRunsInTwoThreadsEachGiveWhatTheyGiveAlone)
{
    fs::path folder = fs::temp_directory_path() / ("quorvex-parallel-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "stream");
    fs::create_directories(folder / "http");
    {
        Processor older("stream", folder / "stream");
        Processor newer("http", folder / "http");
        ASSERT_FALSE(older.port().empty());
        ASSERT_FALSE(newer.port().empty());
        const std::vector<std::string> stream_run = {"-s", "127.0.0.1:" + older.port(), "-f",
                                                     QUORVEX_EXAMPLES "/read_settings.xml", "-u", "admin", "-p",
                                                     "secret1"};
        const std::vector<std::string> http_run = {"-s", "127.0.0.1:" + newer.port(), "-f",
                                                   QUORVEX_EXAMPLES "/security_message.xml", "-v"};

        const Outcome stream_alone = run_once(stream_run, folder / "stream-alone.log");
        const Outcome http_alone = run_once(http_run, folder / "http-alone.log");
        const int stream_connections = older.connections();
        const int http_connections = newer.connections();
        ASSERT_GT(stream_connections, 0);
        ASSERT_GT(http_connections, 0);
        // Each run on its own console and log, whole.
        for (const Outcome* alone : {&stream_alone, &http_alone}) {
            ASSERT_EQ(alone->status, 0) << alone->console;
            EXPECT_NE(alone->console.find("Valid XML Syntax"), std::string::npos) << alone->console;
            EXPECT_NE(alone->console.find("Script succeeded on \"127.0.0.1:"), std::string::npos) << alone->console;
            EXPECT_NE(alone->log.find("Script succeeded on \"127.0.0.1:"), std::string::npos) << alone->log;
        }
        EXPECT_NE(http_alone.console.find("<SECURITY_MSG VALUE=\"Yes\"/>"), std::string::npos) << http_alone.console;

        Outcome stream_together;
        Outcome http_together;
        std::thread stream_thread([&] { stream_together = run_once(stream_run, folder / "stream-together.log"); });
        std::thread http_thread([&] { http_together = run_once(http_run, folder / "http-together.log"); });
        stream_thread.join();
        http_thread.join();

        expect_same(stream_together, stream_alone, "stream mode");
        expect_same(http_together, http_alone, "HTTP mode");
        ASSERT_EQ(older.connections(), 2 * stream_connections);
        ASSERT_EQ(newer.connections(), 2 * http_connections);
        EXPECT_EQ(older.received(stream_connections + 1, 2 * stream_connections),
                  older.received(1, stream_connections));
        EXPECT_EQ(newer.received(http_connections + 1, 2 * http_connections), newer.received(1, http_connections));
    }
    fs::remove_all(folder);
}

}  // namespace
