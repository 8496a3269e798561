#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <openssl/bio.h>

#include "link/send_queue.h"

namespace {

// The far end of the queue: keeps every write it is given, or fails them.
struct Sink {
    std::vector<std::string> writes;
    bool failing = false;
};

int sink_write(BIO* bio, const char* data, int length)
{
    Sink& sink = *static_cast<Sink*>(BIO_get_data(bio));
    if (sink.failing)
        return -1;
    sink.writes.emplace_back(data, static_cast<size_t>(length));
    return length;
}

long sink_control(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

class SendQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        method_ = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "test sink");
        BIO_meth_set_write(method_, sink_write);
        BIO_meth_set_ctrl(method_, sink_control);
        BIO* end = BIO_new(method_);
        BIO_set_data(end, &sink_);
        BIO_set_init(end, 1);
        queue_ = new_send_queue();
        ASSERT_NE(queue_, nullptr);
        BIO_push(queue_, end);
    }

    void TearDown() override
    {
        BIO_free_all(queue_);
        BIO_meth_free(method_);
    }

    int write(const std::string& bytes)
    {
        return BIO_write(queue_, bytes.data(), static_cast<int>(bytes.size()));
    }

    Sink sink_;
    BIO* queue_ = nullptr;
    BIO_METHOD* method_ = nullptr;
};

TEST_F(SendQueue, WritesLeaveTogetherAtTheFlush)
{
    for (const char* piece : {"one ", "two ", "three\n"})
        EXPECT_EQ(write(piece), static_cast<int>(std::string(piece).size()));
    EXPECT_TRUE(sink_.writes.empty());
    EXPECT_EQ(BIO_ctrl_wpending(queue_), 14u);
    EXPECT_EQ(BIO_flush(queue_), 1);
    EXPECT_EQ(sink_.writes, std::vector<std::string>{"one two three\n"});
    EXPECT_EQ(BIO_ctrl_wpending(queue_), 0u);
    // Nothing queued: the flush writes nothing.
    EXPECT_EQ(BIO_flush(queue_), 1);
    EXPECT_EQ(sink_.writes.size(), 1u);
}

// A write that does not fit sends the queue first; one as large as the
// queue follows it directly; the order of the bytes never changes.
TEST_F(SendQueue, AFullQueueLeavesFirst)
{
    const std::string a(SEND_QUEUE_SIZE - 10, 'a');
    const std::string b(20, 'b');
    const std::string c(SEND_QUEUE_SIZE, 'c');
    ASSERT_EQ(write(a), static_cast<int>(a.size()));
    ASSERT_EQ(write(b), static_cast<int>(b.size()));
    EXPECT_EQ(sink_.writes, std::vector<std::string>{a});
    ASSERT_EQ(write(c), static_cast<int>(c.size()));
    EXPECT_EQ(sink_.writes, (std::vector<std::string>{a, b, c}));
    ASSERT_EQ(write("d"), 1);
    EXPECT_EQ(BIO_flush(queue_), 1);
    EXPECT_EQ(sink_.writes.back(), "d");
}

// After a failed write the queue is dropped and nothing more goes out.
TEST_F(SendQueue, AFailedWriteEndsTheQueue)
{
    ASSERT_EQ(write("lost"), 4);
    sink_.failing = true;
    EXPECT_LE(BIO_flush(queue_), 0);
    EXPECT_EQ(BIO_ctrl_wpending(queue_), 0u);
    sink_.failing = false;
    EXPECT_EQ(write("later"), -1);
    EXPECT_LE(BIO_flush(queue_), 0);
    EXPECT_TRUE(sink_.writes.empty());
}

}  // namespace
