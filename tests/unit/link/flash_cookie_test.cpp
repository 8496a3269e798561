// The Cookie line of the follow-up request, caught from the upload reply
// however the reads cut it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "link/firmware_upload.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "link_fixture.h"

namespace {

struct CookieCase {
    const char* name;
    std::vector<std::string> reads;
    std::string header;  // what the follow-up request carries
    bool complete;
};

class FlashCookieLine : public testing::TestWithParam<CookieCase> {};

TEST_P(FlashCookieLine, IsTheWholeLineWithOneLineEnd)
{
    const CookieCase& c = GetParam();
    FlashCookie cookie;
    for (const std::string& read : c.reads)
        cookie.take(read);
    EXPECT_FALSE(cookie.too_long());
    EXPECT_EQ(cookie.seen(), !c.header.empty());
    EXPECT_EQ(cookie.complete(), c.complete);
    EXPECT_EQ(cookie.header(), c.header);
}

const std::string VALUE_64(64, 'c');

INSTANTIATE_TEST_SUITE_P(
    Replies, FlashCookieLine,
    testing::Values(
        CookieCase{"short_value_then_header",
                   {"HTTP/1.1 200 OK\r\nSet-Cookie: MoxclFlash=0123; path=/\r\nCache-Control: no-cache\r\n\r\n"},
                   "Cookie: MoxclFlash=0123; path=/\r\n",
                   true},
        CookieCase{"long_value_ends_the_head",
                   {"HTTP/1.1 200 OK\r\nSet-Cookie: MoxclFlash=" + VALUE_64 + "\r\n\r\n<html></html>"},
                   "Cookie: MoxclFlash=" + VALUE_64 + "\r\n",
                   true},
        CookieCase{"line_split_in_the_value",
                   {"HTTP/1.1 200 OK\r\nSet-Cookie: MoxclFlash=01", "23; path=/", "\r\nX: y\r\n\r\n"},
                   "Cookie: MoxclFlash=0123; path=/\r\n",
                   true},
        CookieCase{"marker_split", {"HTTP/1.1 200 OK\r\nSet-Cook", "ie: MoxclFlash=ab\r\n"}, "Cookie: MoxclFlash=ab\r\n", true},
        CookieCase{"marker_split_byte_by_byte",
                   {"S", "e", "t", "-", "Cookie: Moxcl", "F", "lash=", "a", "b", "\n"},
                   "Cookie: MoxclFlash=ab\r\n",
                   true},
        CookieCase{"bare_line_feed_ends_it", {"Set-Cookie: MoxclFlash=ab\nX: y\n"}, "Cookie: MoxclFlash=ab\r\n", true},
        CookieCase{"reply_ends_in_the_line", {"Set-Cookie: MoxclFlash=ab"}, "Cookie: MoxclFlash=ab\r\n", false},
        CookieCase{"zero_byte_ends_it",
                   {std::string("Set-Cookie: MoxclFlash=ab\0cd\r\n", 30)},
                   "Cookie: MoxclFlash=ab\r\n",
                   true},
        CookieCase{"later_line_wins",
                   {"Set-Cookie: MoxclFlash=old\r\n", "Set-Cookie: MoxclFlash=new\r\n"},
                   "Cookie: MoxclFlash=new\r\n",
                   true},
        CookieCase{"other_cookie_only", {"Set-Cookie: Session=1\r\n\r\n"}, "", false}),
    [](const testing::TestParamInfo<CookieCase>& info) { return std::string(info.param.name); });

TEST(FlashCookie, AbsurdLengthIsRefusedWhateverTheReads)
{
    const std::string prefix = "Cookie: MoxclFlash=";
    const std::string longest(FLASH_COOKIE_LINE_LIMIT - prefix.size(), 'v');
    FlashCookie fits;
    fits.take("Set-" + prefix + longest.substr(0, 1000));
    fits.take(longest.substr(1000) + "\r\n");
    EXPECT_FALSE(fits.too_long());
    EXPECT_EQ(fits.header(), prefix + longest + "\r\n");

    FlashCookie one_more;
    one_more.take("Set-" + prefix + longest);
    one_more.take("v\r\n");
    EXPECT_TRUE(one_more.too_long());
    EXPECT_TRUE(one_more.complete());
    EXPECT_EQ(one_more.header(), "");
    // A later cookie line does not make a refused reply acceptable.
    one_more.take("Set-Cookie: MoxclFlash=ab\r\n");
    EXPECT_TRUE(one_more.too_long());
}

// A processor whose every read gives the next of its pieces, then the end.
struct PieceReads {
    std::vector<std::string> pieces;
    size_t next = 0;

    static int read(void* context, void* buffer, int size)
    {
        auto& self = *static_cast<PieceReads*>(context);
        if (self.next == self.pieces.size())
            return 0;
        const std::string& piece = self.pieces[self.next++];
        size_t count = std::min(piece.size(), static_cast<size_t>(size));
        std::memcpy(buffer, piece.data(), count);
        return static_cast<int>(count);
    }
    static int write(void*, const void*, int length) { return length; }
};

using UploadReply = LinkTest;

// The verbose console shows each read of the upload reply as it came: a
// shorter read after a longer one shows nothing of the longer one.
TEST_F(UploadReply, VerboseShowsEveryReadAsItCame)
{
    run.settings.verbose = true;
    const std::string longer = "HTTP/1.1 200 OK\r\nServer: mp\r\nSet-Cookie: MoxclFlash=0123456789abcdef";
    const std::string shorter = "; path=/\r\n\r\n";
    PieceReads processor{{longer, shorter}};
    LinkPeer peer{PieceReads::read, PieceReads::write, &processor};
    use_link_peer(link, &peer);
    FlashCookie cookie;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(read_upload_reply(link, cookie));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), longer + shorter);
    use_link_peer(link, nullptr);
    EXPECT_EQ(cookie.header(), "Cookie: MoxclFlash=0123456789abcdef; path=/\r\n");
}

// A processor whose reply fills every read the reader makes. Its text is
// far longer than the reader may take: a processor that keeps the
// connection open would send nothing past what it has.
struct OpenReply {
    std::string text;
    size_t sent = 0;

    static int read(void* context, void* buffer, int size)
    {
        auto& self = *static_cast<OpenReply*>(context);
        size_t count = std::min(self.text.size() - self.sent, static_cast<size_t>(size));
        std::memcpy(buffer, self.text.data() + self.sent, count);
        self.sent += count;
        return static_cast<int>(count);
    }
    static int write(void*, const void*, int length) { return length; }
};

// A cookie line that passes its limit ends the reading of the upload reply
// with the read that shows it: nothing after it is waited for.
TEST_F(UploadReply, CookieLineTooLongEndsTheReadsAtOnce)
{
    OpenReply processor{"HTTP/1.1 200 OK\r\nSet-Cookie: MoxclFlash=" + std::string(4 * FLASH_COOKIE_LINE_LIMIT, 'v')};
    LinkPeer peer{OpenReply::read, OpenReply::write, &processor};
    use_link_peer(link, &peer);
    FlashCookie cookie;
    EXPECT_TRUE(read_upload_reply(link, cookie));
    use_link_peer(link, nullptr);
    EXPECT_TRUE(cookie.too_long());
    EXPECT_LE(processor.sent, FLASH_COOKIE_LINE_LIMIT + TRANSFER_BUFFER_SIZE);
}

}  // namespace
