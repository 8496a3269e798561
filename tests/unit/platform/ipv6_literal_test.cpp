#include <gtest/gtest.h>

#include "platform/winsock.h"

TEST(Ipv6Literal, AcceptsBareAndBracketedForms)
{
    for (const char* text : {"fe80::5", "::", "::1", "::ffff:10.1.2.3", "fe80::5%eth0", "fe80::5%2", "[fe80::5]",
                             "[fe80::5]:444", "[fe80::5%eth0]:1", "1:2:3:4:5:6:7:8"}) {
        EXPECT_TRUE(is_ipv6_literal(text)) << text;
    }
}

TEST(Ipv6LiteralRefuses, EverythingElse)
{
    for (const char* text : {"", "10.0.0.7", "mp1", "fe80::5:444x", "[fe80::5", "fe80::5]", "[fe80::5]:",
                             "[fe80::5]:x", "[fe80::5]:70000", "[fe80::5]x", "fe80::5%", "[10.0.0.7]", "1:2:3:4:5:6:7:8:9",
                             "fe80::5 "}) {
        EXPECT_FALSE(is_ipv6_literal(text)) << text;
    }
}
