// The trace writer: lines in order among other writes to standard output.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/console_write.h"

namespace {

// Trace lines keep their places among the other writes to standard output,
// also where they cross the end of the stream's buffer, and a line larger
// than any buffer comes out whole.
TEST(TraceOutput, LinesKeepTheirPlaceAmongOtherOutput)
{
    testing::internal::CaptureStdout();
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        std::string line = "<s> " + std::string(static_cast<size_t>(i % 97), static_cast<char>('A' + i % 26)) + "\n";
        trace_write(line.data(), line.size(), stdout);
        expected += line;
        if (i % 7 == 0) {
            std::printf("other %d\n", i);
            expected += "other " + std::to_string(i) + "\n";
        }
    }
    const std::string large(200000, 'L');
    trace_write(large.data(), large.size(), stdout);
    std::fputs("end\n", stdout);
    expected += large + "end\n";
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

}  // namespace
