#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/text_stream.h"

namespace {

FILE* stream_of(const std::string& bytes)
{
    FILE* file = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    return file;
}

std::string read_all(FILE* file, size_t piece)
{
    std::string out;
    char buf[64];
    size_t got;
    while ((got = text_read(file, buf, piece)) > 0)
        out.append(buf, got);
    return out;
}

TEST(TextStream, FoldsCrLfAcrossReadBoundaries)
{
    const std::string input = "a\r\nb\rc\r\r\n\r\n\r";
    const std::string folded = "a\nb\rc\r\n\n\r";
    for (size_t piece : {1, 2, 3, 5, 64}) {
        SCOPED_TRACE(piece);
        FILE* file = stream_of(input);
        EXPECT_EQ(read_all(file, piece), folded);
        fclose(file);
    }
}

TEST(TextStream, LinesAreBoundedAndFolded)
{
    FILE* file = stream_of("ab\r\ncdefg\r\n\rx");
    char line[4];
    std::string lines;
    while (text_gets(line, sizeof line, file))
        lines += std::string(line) + "|";
    EXPECT_EQ(lines, "ab\n|cde|fg\n|\rx|");
    fclose(file);
}

TEST(TextStream, WholeLinesHaveNoLimit)
{
    const std::string long_line(10000, 'x');
    FILE* file = stream_of(long_line + "\r\nab\r\r\n\rx");
    std::string line;
    std::string lines;
    while (text_getline(file, line))
        lines += line + "|";
    EXPECT_EQ(lines, long_line + "\n|ab\r\n|\rx|");
    fclose(file);
}

}  // namespace
