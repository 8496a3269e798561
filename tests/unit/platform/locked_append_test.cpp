#include "platform/locked_append.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

bool holds_line(const std::string& content, const std::string& line)
{
    return content.find(line) == 0 ||
           content.find("\n" + line) != std::string::npos;
}

}  // namespace

// Runs that append at once, each its own host and all the same one, leave
// every line exactly once: none lost, none duplicated.
TEST(LockedAppend, ConcurrentAppendsKeepEveryLineOnce)
{
    std::string path = testing::TempDir() + "locked_append_";
    std::remove(path.c_str());
    constexpr int RUNS = 8;
    constexpr int ROUNDS = 20;
    std::vector<std::thread> runs;
    for (int run = 0; run < RUNS; ++run) {
        runs.emplace_back([&path, run] {
            for (int round = 0; round < ROUNDS; ++round) {
                for (std::string line : {"host" + std::to_string(run) + "-" + std::to_string(round) + " key\n",
                                         std::string("shared key\n")}) {
                    LockedAppend result = append_line_once(
                        path.c_str(), line, [&](const std::string& content) { return holds_line(content, line); });
                    EXPECT_NE(result, LockedAppend::failed);
                }
            }
        });
    }
    for (std::thread& run : runs)
        run.join();

    std::ifstream file(path);
    std::map<std::string, int> seen;
    std::string line;
    while (std::getline(file, line))
        ++seen[line];
    EXPECT_EQ(seen.size(), static_cast<size_t>(RUNS * ROUNDS + 1));
    for (const auto& [text, count] : seen)
        EXPECT_EQ(count, 1) << text;
    EXPECT_EQ(seen["shared key"], 1);
    std::remove(path.c_str());
}

// A file whose last line has no line end keeps that line whole.
TEST(LockedAppend, LastLineWithoutLineEnd)
{
    std::string path = testing::TempDir() + "locked_append_end_";
    {
        std::ofstream file(path);
        file << "old key";
    }
    EXPECT_EQ(append_line_once(path.c_str(), "new key\n", [](const std::string&) { return false; }),
              LockedAppend::appended);
    std::ifstream file(path);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "old key\nnew key\n");
    std::remove(path.c_str());
}
