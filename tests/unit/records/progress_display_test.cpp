#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "records/progress_display.h"

namespace {

// What the display drew into a stream of its own.
class ProgressDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        progress = ProgressDisplay{};
        screen = std::tmpfile();
        ASSERT_NE(screen, nullptr);
        progress.output = screen;
    }
    void TearDown() override
    {
        progress = ProgressDisplay{};
        std::fclose(screen);
    }
    std::string drawn()
    {
        std::fflush(screen);
        std::string text;
        std::rewind(screen);
        for (int c; (c = std::fgetc(screen)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }
    FILE* screen = nullptr;
    ProgressDisplay progress;
};

TEST_F(ProgressDisplayTest, DrawsInPlaceAndEndsWithTheWholeCount)
{
    progress_begin(progress, "Sending firmware image", 40000);
    progress_advance(progress, 16384);
    progress_advance(progress, 16384);
    progress_advance(progress, 7232);
    progress_end(progress);
    std::string text = drawn();
    // The first line at once, the last with every byte, and one line end.
    EXPECT_EQ(text.rfind("\rSending firmware image: 0 of 40000 bytes (0%), ", 0), 0u) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex("\rSending firmware image: 40000 of 40000 bytes \\(100%\\), "
                                                   "([0-9.]+ (B|KiB|MiB|GiB)/s|-) *\n$")))
        << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

TEST_F(ProgressDisplayTest, HiddenForOtherOutputOverItsWholeLength)
{
    progress_begin(progress, "Receiving virtual floppy image", 1474560);
    std::string before = drawn();
    progress_hide(progress);
    std::string after = drawn();
    // The line is blanked over its whole length and the cursor put back.
    std::string line = before.substr(1);
    EXPECT_EQ(after, before + "\r" + std::string(line.size(), ' ') + "\r");
    // Hidden twice: nothing more.
    progress_hide(progress);
    EXPECT_EQ(drawn(), after);
    progress_end(progress);
}

TEST_F(ProgressDisplayTest, ShorterLineBlanksWhatTheLongerLeft)
{
    // A shorter label drawn over a longer line: the blanks after it reach
    // to where the longer line ended, and not beyond.
    progress_begin(progress, "Receiving virtual floppy image", 1474560);
    std::string longer = drawn().substr(1);
    progress_begin(progress, "Sending firmware image", 10);
    std::string text = drawn().substr(1 + longer.size());
    const std::string shorter = "\rSending firmware image: 0 of 10 bytes (0%), -";
    ASSERT_EQ(text.rfind(shorter, 0), 0u) << text;
    EXPECT_EQ(text.substr(shorter.size()), std::string(longer.size() + 1 - shorter.size(), ' ')) << text;
    progress_end(progress);
}

TEST_F(ProgressDisplayTest, NothingWithoutATerminal)
{
    progress.output = nullptr;
    progress_begin(progress, "Sending virtual floppy image", 10);
    progress_advance(progress, 10);
    progress_hide(progress);
    progress_end(progress);
    EXPECT_EQ(drawn(), "");
}

// The smallest images: nothing has moved at the start, whatever the size.
TEST_F(ProgressDisplayTest, SmallImagesStartAtZeroPercent)
{
    for (long long total : {1LL, 2LL, 99LL}) {
        SCOPED_TRACE(total);
        progress = ProgressDisplay{};
        std::FILE* own = std::tmpfile();
        progress.output = own;
        progress_begin(progress, "Sending virtual floppy image", total);
        progress_advance(progress, total);
        progress_end(progress);
        std::fflush(own);
        std::rewind(own);
        std::string text;
        for (int c; (c = std::fgetc(own)) != EOF;)
            text += static_cast<char>(c);
        std::fclose(own);
        const std::string count = " of " + std::to_string(total) + " bytes (";
        EXPECT_EQ(text.rfind("\rSending virtual floppy image: 0" + count + "0%), ", 0), 0u) << text;
        EXPECT_NE(text.find(std::to_string(total) + count + "100%)"), std::string::npos) << text;
    }
    progress.output = screen;
}

TEST_F(ProgressDisplayTest, PercentStaysWithinItsRange)
{
    // A processor that sends more than it announced, and an empty image.
    progress_begin(progress, "Receiving virtual floppy image", 10);
    progress_advance(progress, 25);
    progress_end(progress);
    progress_begin(progress, "Sending firmware image", 0);
    progress_end(progress);
    std::string text = drawn();
    EXPECT_NE(text.find("25 of 10 bytes (100%)"), std::string::npos) << text;
    EXPECT_NE(text.find("0 of 0 bytes (100%)"), std::string::npos) << text;
}

}  // namespace
