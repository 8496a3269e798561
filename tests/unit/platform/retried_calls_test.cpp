// The POSIX side's system calls made again: after a signal interrupted them
// (the poll of a bounded connect, the lock, read and write of a locked
// append, a sleep) and after a write that took part of its bytes (the run
// report, a received image).
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/retried_calls.h"

namespace {

TEST(RetriedCalls, InterruptedCallIsMadeAgainOtherFailuresAreTheAnswer)
{
    struct Case {
        const char* name;
        int failures;     // the first calls fail with this errno ...
        int error;
        int answer;       // ... then the call gives this
        int result;       // what the caller gets
        int calls;        // after this many calls
    } cases[] = {
        {"poll interrupted twice, then ready", 2, EINTR, 1, 1, 3},
        {"lock interrupted, then taken", 1, EINTR, 0, 0, 2},
        {"lock refused", 1, EBADF, 0, -1, 1},
    };
    for (const Case& c : cases) {
        int calls = 0;
        int result = again_if_interrupted([&] {
            if (++calls <= c.failures) {
                errno = c.error;
                return -1;
            }
            return c.answer;
        });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(calls, c.calls) << c.name;
        if (result < 0) {
            EXPECT_EQ(errno, c.error) << c.name;
        }
    }
}

TEST(RetriedCalls, WriteTakingOneByteAtATimeGoesWhole)
{
    const std::string report = "{\n  \"schema\": 1\n}\n";
    std::string written;
    int calls = 0;
    auto one_byte = [&](const char* bytes, size_t) -> long {
        // The third write is interrupted before it takes anything; a write
        // more than the bytes need takes nothing.
        if (++calls == 3) {
            errno = EINTR;
            return -1;
        }
        if (written.size() >= report.size() + 1)
            return 0;
        written += bytes[0];
        return 1;
    };
    EXPECT_TRUE(write_whole(one_byte, report.data(), report.size()));
    EXPECT_EQ(written, report);
    EXPECT_EQ(calls, static_cast<int>(report.size()) + 1);

    // A write that takes nothing, or fails, ends it, though the next one
    // would have gone through.
    for (int error : {0, EIO}) {
        calls = 0;
        auto fails_first = [&](const char*, size_t) -> long {
            if (++calls > 1)
                return 1;
            errno = error;
            return error == 0 ? 0 : -1;
        };
        EXPECT_FALSE(write_whole(fails_first, "x", 1)) << error;
        EXPECT_EQ(errno, error == 0 ? ENOSPC : error);
        EXPECT_EQ(calls, 1) << error;
    }
}

}  // namespace
