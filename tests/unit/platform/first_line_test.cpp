#include "platform/first_line.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

// From standard input the line is taken and nothing after it: what follows
// stays there for whoever reads it next.
TEST(FirstLine, TakesNothingAfterTheLineFromStandardInput)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "pw\nrest", 7), 7);
    close(ends[1]);
    int input = dup(STDIN_FILENO);
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
    std::string line;
    FirstLine result = read_first_line(nullptr, 5, line);
    char rest[16] = "";
    ssize_t got = read(STDIN_FILENO, rest, sizeof rest);
    dup2(input, STDIN_FILENO);
    close(input);
    EXPECT_EQ(result, FirstLine::read);
    EXPECT_EQ(line, "pw");
    EXPECT_EQ(std::string(rest, got > 0 ? static_cast<size_t>(got) : 0), "rest");
}

TEST(FirstLine, MissingFileAndFolder)
{
    std::string line;
    EXPECT_EQ(read_first_line("/nonexistent/pw", 1, line), FirstLine::cannot_open);
    EXPECT_EQ(read_first_line("/", 1, line), FirstLine::cannot_read);
}
