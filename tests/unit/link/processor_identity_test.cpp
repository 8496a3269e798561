#include "link/processor_identity.h"

#include <gtest/gtest.h>

// The line's host: the address alone for port 443, "address:port"
// otherwise, an IPv6 address in brackets when a port follows it.
TEST(ProcessorIdentity, HostOfTheLine)
{
    struct {
        const char* address;
        const char* port;
        const char* host;
    } cases[] = {
        {"mp7", "443", "mp7"},
        {"mp7", "444", "mp7:444"},
        {"10.0.0.1", "8443", "10.0.0.1:8443"},
        {"fe80::1", "443", "fe80::1"},
        {"fe80::1", "444", "[fe80::1]:444"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(known_processor_host(c.address, c.port), c.host) << c.address << " " << c.port;
}

// The first line that names the host, its number counted over comments and
// blank lines; a host that is only the start of another one does not match.
TEST(ProcessorIdentity, FindsTheHostsLine)
{
    const std::string content =
        "# lab\n"
        "\n"
        "mp7:444 sha256:AAA=\n"
        "  mp7\tsha256:BBB\r\n"
        "mp7 sha256:CCC\n";
    KnownLine port = find_known_processor(content, "mp7:444");
    EXPECT_EQ(port.number, 3);
    EXPECT_EQ(port.fingerprint, "sha256:AAA=");
    KnownLine plain = find_known_processor(content, "mp7");
    EXPECT_EQ(plain.number, 4);
    EXPECT_EQ(plain.fingerprint, "sha256:BBB");
    EXPECT_EQ(find_known_processor(content, "mp").number, 0);
    EXPECT_EQ(find_known_processor(content, "# lab").number, 0);
}

TEST(ProcessorIdentity, PaddingDoesNotMatter)
{
    EXPECT_TRUE(same_fingerprint("sha256:AAA=", "sha256:AAA"));
    EXPECT_FALSE(same_fingerprint("sha256:AAA=", "sha256:AAB="));
    EXPECT_FALSE(same_fingerprint("sha256:AAA", "sha256:AA"));
}
