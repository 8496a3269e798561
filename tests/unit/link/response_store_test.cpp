// The response store of an HTTP reply: its rollover, and searches in it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "records/run_context.h"
#include "link/http_reply.h"
#include "link/link.h"
#include "link/response_store.h"

namespace {

TEST(ResponseStore, RollsOverWhenAChunkWouldPassItsEnd)
{
    RunContext run;
    Link link(run);
    response_store_reset(link.response_store);
    std::string block(4096, 'x');
    for (int i = 0; i < RESPONSE_STORE_SIZE / 4096; ++i)
        response_store_append(link, block.data(), block.size());
    EXPECT_EQ(link.response_store.used, static_cast<size_t>(RESPONSE_STORE_SIZE));  // exactly full is allowed

    std::snprintf(run.settings.program_name, sizeof run.settings.program_name, "quorvex");
    testing::internal::CaptureStdout();
    response_store_append(link, "STATUS", 6);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "quorvex: Response has exceeded the length of the response buffer causing a rollover\r\n");
    EXPECT_EQ(link.response_store.used, 6u);
    EXPECT_TRUE(response_store_contains(link.response_store, "STATUS"));
    EXPECT_FALSE(response_store_contains(link.response_store, "x"));
}

// A reply that filled the store to its last byte leaves nothing behind for
// the next reply: the store is empty and ends in its terminator.
TEST(ResponseStore, ExactlyFullStoreIsClearedWholeByTheReset)
{
    RunContext run;
    Link link(run);
    reply_collect_start(link);
    std::string block(4096, 'x');
    for (int i = 0; i < RESPONSE_STORE_SIZE / 4096; ++i)
        response_store_append(link, block.data(), block.size());
    ASSERT_EQ(link.response_store.used, static_cast<size_t>(RESPONSE_STORE_SIZE));
    reply_collect_start(link);
    EXPECT_EQ(link.response_store.used, 0u);
    std::string_view whole(link.response_store.text.get(), RESPONSE_STORE_SIZE + 1);
    EXPECT_EQ(whole.find_first_not_of('\0'), std::string_view::npos);
    // A short reply after it reads as itself alone.
    response_store_append(link, "abc", 3);
    EXPECT_STREQ(link.response_store.text.get(), "abc");
}

TEST(ResponseStore, StatusScanSeesWhatARolloverDrops)
{
    RunContext run;
    Link link(run);
    std::snprintf(run.settings.program_name, sizeof run.settings.program_name, "quorvex");
    const std::string early = "<RESPONSE STATUS=\"0x0005\" MESSAGE='early'/>";
    const std::string split = "<RESPONSE STATUS=\"0x00";
    const std::string rest = "07\" MESSAGE='split'/>";
    std::string block(4096, 'x');
    struct Fill {
        const char* name;
        std::string first;  // the reply starts with it
        std::string last;   // the end of the store, before the chunk that rolls it over
        int status;
    };
    for (const Fill& fill : {Fill{"early failure", early, "", 5}, Fill{"status split by the rollover", "", split, 7}}) {
        testing::internal::CaptureStdout();
        reply_collect_start(link);
        response_store_append(link, fill.first.data(), fill.first.size());
        size_t room = RESPONSE_STORE_SIZE - fill.first.size() - fill.last.size();
        for (; room >= block.size(); room -= block.size())
            response_store_append(link, block.data(), block.size());
        response_store_append(link, block.data(), room);
        response_store_append(link, fill.last.data(), fill.last.size());
        EXPECT_EQ(link.response_store.used, static_cast<size_t>(RESPONSE_STORE_SIZE)) << fill.name;
        response_store_append(link, rest.data(), rest.size());
        EXPECT_NE(testing::internal::GetCapturedStdout().find("rollover"), std::string::npos) << fill.name;
        EXPECT_EQ(link.response_store.used, rest.size()) << fill.name;
        EXPECT_EQ(status_scan(link), fill.status) << fill.name;
    }
}

TEST(ResponseStore, SearchFindsTextSplitBetweenAppendsAndForgetsWhatARolloverDrops)
{
    RunContext run;
    Link link(run);
    std::snprintf(run.settings.program_name, sizeof run.settings.program_name, "quorvex");
    const std::string done = "Firmware flash completed successfully";
    struct SplitCase {
        std::vector<std::string> appends;
        std::vector<bool> found;  // after each append
    };
    const SplitCase cases[] = {
        {{"...Firmware flash comp", "leted successfully..."}, {false, true}},
        {{"F", "irmware flash completed successfull", "y"}, {false, false, true}},
        {{done.substr(0, 36), "x", "y"}, {false, false, false}},
        {{"nothing", "", done}, {false, false, true}},
    };
    for (const SplitCase& c : cases) {
        reply_collect_start(link);
        StoreSearch search(done);
        for (size_t i = 0; i < c.appends.size(); ++i) {
            response_store_append(link, c.appends[i].data(), c.appends[i].size());
            EXPECT_EQ(search.found_in_new_text(link.response_store), c.found[i]) << c.appends[0] << " append " << i;
        }
    }

    // The text is found once: a later search looks only at what came after.
    reply_collect_start(link);
    StoreSearch search(done);
    response_store_append(link, done.data(), done.size());
    EXPECT_TRUE(search.found_in_new_text(link.response_store));
    response_store_append(link, "more", 4);
    EXPECT_FALSE(search.found_in_new_text(link.response_store));

    // A rollover starts the search again at the store's new beginning; the
    // bytes it dropped are not searched.
    testing::internal::CaptureStdout();
    reply_collect_start(link);
    StoreSearch rolled(done);
    std::string block(RESPONSE_STORE_SIZE - 10, 'x');
    block += "Firmware f";
    response_store_append(link, block.data(), block.size());
    EXPECT_FALSE(rolled.found_in_new_text(link.response_store));
    const std::string rest = "lash completed successfully";
    response_store_append(link, rest.data(), rest.size());
    EXPECT_FALSE(rolled.found_in_new_text(link.response_store));
    response_store_append(link, done.data(), done.size());
    EXPECT_TRUE(rolled.found_in_new_text(link.response_store));
    testing::internal::GetCapturedStdout();
}

}  // namespace
