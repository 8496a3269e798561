#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/inventory.h"

namespace {

struct Expected {
    int number;
    const char* name;
    const char* processor;
    const char* pairs;
    int line;
};

TEST(Inventory, LinesBecomeNumberedProcessorsWithTheirPairs)
{
    std::string text =
        "# processors\n"
        "\n"
        "mp1.example\n"
        "   10.0.0.5:444   label=a,mode=b\r\n"
        "  # a comment with leading blanks\n"
        "[fe80::5]:444\tlabel=x #rack 1\n"
        "mp2#odd label=y # comment\n"
        "mp3";
    const Expected expected[] = {
        {5, "005-mp1.example", "mp1.example", "", 3},
        {6, "006-10.0.0.5_444", "10.0.0.5:444", "label=a,mode=b", 4},
        {7, "007-_fe80__5__444", "[fe80::5]:444", "label=x", 6},
        {8, "008-mp2_odd", "mp2#odd", "label=y", 7},
        {9, "009-mp3", "mp3", "", 8},
    };
    Inventory inventory = read_inventory(text, 5);
    EXPECT_EQ(inventory.refused, "");
    ASSERT_EQ(inventory.entries.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const InventoryEntry& entry = inventory.entries[i];
        EXPECT_EQ(entry.number, expected[i].number);
        EXPECT_EQ(entry.name, expected[i].name);
        EXPECT_EQ(entry.processor, expected[i].processor);
        EXPECT_EQ(entry.pairs, expected[i].pairs);
        EXPECT_EQ(entry.line, expected[i].line);
    }
    EXPECT_EQ(inventory_name(1234, "a:b"), "1234-a_b");
}

// One processor however the two lines write it; a different port is
// another processor.
TEST(Inventory, AProcessorListedTwiceIsRefused)
{
    const std::pair<const char*, const char*> twice[] = {
        {"mp7.example", "MP7.example:443"},
        {"[fe80::5]", "fe80::5"},
        {"[fe80::5]:443", "FE80::5 label=x"},
        {"10.0.0.1:444", "10.0.0.1:444 label=y"},
    };
    for (const auto& [first, second] : twice) {
        SCOPED_TRACE(second);
        Inventory inventory = read_inventory(std::string(first) + "\n\n" + second + "\n", 1);
        std::string processor = std::string(second).substr(0, std::string(second).find(' '));
        EXPECT_EQ(inventory.refused, "line 3: " + processor + " is listed twice (line 1)\n");
    }
    EXPECT_EQ(read_inventory("mp1\nmp1:444\n[fe80::5]:444\nfe80::5\n", 1).refused, "");
    EXPECT_EQ(read_inventory("# nothing\n\n", 1).refused, "no processor in the inventory\n");
}

}  // namespace
