#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "records/run_context.h"
#include "platform/exit_cleanup.h"
#include "prepare/substitution.h"

namespace {

std::string repeat(char c, size_t n)
{
    return std::string(n, c);
}

std::string pairs_of(int count)
{
    std::string list;
    for (int i = 0; i < count; ++i)
        list += (i ? "," : "") + std::string("v") + std::to_string(i) + "=" + std::to_string(i);
    return list;
}

TEST(NameValuePairs, AcceptedAndRefusedLists)
{
    RunContext run;
    struct Case {
        std::string list;
        bool accepted;
        int count;
        const char* output;
    };
    const Case cases[] = {
        {"A=1,B=2", true, 2, ""},
        {",,A=1,,B=2,", true, 2, ""},
        {"=x,A=", true, 2, ""},
        {" A=1", true, 1, ""},
        {"A", false, 0, ""},
        {"A=1=2", false, 0, ""},
        {repeat('n', 48) + "=1", true, 1, ""},
        {repeat('n', 49) + "=1", false, 0, "ERROR: Maximum Length of variable name is 48\n"},
        {"A=" + repeat('v', 48), true, 1, ""},
        {"A=" + repeat('v', 49), false, 0, "ERROR: Maximum Length of Substitute Value is 48\n"},
        {pairs_of(25), true, 25, ""},
        {pairs_of(26), false, 25, "ERROR: Number of variables have exceeded the limit of 25\n"},
        {"A=" + repeat('v', 2398), false, 0, "ERROR: Maximum Length of Substitute Value is 48\n"},
        {repeat(',', 2401), false, 0, "ERROR: Maximum Length of the name and value pair list is 2400\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list.substr(0, 60) + " (" + std::to_string(c.list.size()) + " characters)");
        testing::internal::CaptureStdout();
        EXPECT_EQ(parse_name_value_pairs(run, c.list.c_str()), c.accepted);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        EXPECT_EQ(run.variables.var_count, c.count);
    }
    ASSERT_TRUE(parse_name_value_pairs(run, " A=1,=e"));
    EXPECT_STREQ(run.variables.var_names[0], " A");
    EXPECT_STREQ(run.variables.var_values[0], "1");
    EXPECT_STREQ(run.variables.var_names[1], "");
    EXPECT_STREQ(run.variables.var_values[1], "e");
}

class Substitution : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("quorvex-subst-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        run.settings.input_file_name = "script.xml";
    }
    void TearDown() override
    {
        // The working copies armed for removal are the test's to remove.
        keep_at_process_end(0);
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    static void write(const char* name, const std::string& text)
    {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::string read(const char* name)
    {
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    RunContext run;
    std::filesystem::path folder, previous;
};

TEST_F(Substitution, WorkingCopies)
{
    struct Case {
        const char* pairs;
        std::string script;
        std::string copy;
        CopyOutcome result;
        std::string output;
    };
    const Case cases[] = {
        {"A=1,B=2", "%A%%B%", "12", CopyOutcome::written, ""},
        {"A=1", "x%%y", "xy", CopyOutcome::written, ""},
        {"=E", "x%%y", "xEy", CopyOutcome::written, ""},
        {"A=1", "tail 100%", "tail 100", CopyOutcome::written, "Proper variable is not found"},
        {"A=1,A=2", "<%A%>", "<12>", CopyOutcome::written, ""},
        {"A=1", "\xff\x80\r\n%A%\x01", "\xff\x80\r\n1\x01", CopyOutcome::written, ""},
        {"A=1", "ab%" + repeat('N', 49) + "%", "ab", CopyOutcome::not_written,
         "The variable Length exceeded the maximum length of 48."},
        // A name without a value never vanishes silently: every one is named
        // once and the run is refused.
        {" A=1", "%A%", "", CopyOutcome::refused, "ERROR: No value given with -t for %A%. Nothing was sent.\r\n"},
        {"a=1", "%A%%B%%A%", "", CopyOutcome::refused,
         "ERROR: No value given with -t for %A%, %B%. Nothing was sent.\r\n"},
        {"A=1", "50% and 20% off", "50 off", CopyOutcome::refused,
         "ERROR: No value given with -t for % and 20%. Nothing was sent.\r\n"},
        {"A=1", "%" + repeat('N', 48) + "%", "", CopyOutcome::refused,
         "ERROR: No value given with -t for %" + repeat('N', 48) + "%. Nothing was sent.\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("-t ") + c.pairs + " over " + c.script);
        run.settings.working_copy_name[0] = '\0';
        write("script.xml", c.script);
        ASSERT_TRUE(parse_name_value_pairs(run, c.pairs));
        testing::internal::CaptureStdout();
        EXPECT_EQ(substitute_variables(run), c.result);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        EXPECT_STREQ(run.settings.working_copy_name, "localhost-var.xml");
        EXPECT_EQ(read("localhost-var.xml"), c.copy);
    }
}

TEST_F(Substitution, NamedAfterServerAndNeverOverwritesTheScript)
{
    ASSERT_TRUE(parse_name_value_pairs(run, "A=1"));
    snprintf(run.settings.server_address, sizeof run.settings.server_address, "mp1");
    write("script.xml", "%A%");
    EXPECT_EQ(substitute_variables(run), CopyOutcome::written);
    EXPECT_STREQ(run.settings.working_copy_name, "mp1-var.xml");
    EXPECT_EQ(read("mp1-var.xml"), "1");

    // An address no processor can have still names a file of this folder:
    // neither slash leads into another one.
    std::filesystem::create_directories("sub");
    snprintf(run.settings.server_address, sizeof run.settings.server_address, "sub/..\\x");
    EXPECT_EQ(substitute_variables(run), CopyOutcome::written);
    EXPECT_STREQ(run.settings.working_copy_name, "sub_.._x-var.xml");
    EXPECT_EQ(read("sub_.._x-var.xml"), "1");

    // A script that already carries the working copy's name is left intact.
    run = RunContext{};
    run.settings.input_file_name = "localhost-var.xml";
    write("localhost-var.xml", "%A%");
    testing::internal::CaptureStdout();
    EXPECT_EQ(substitute_variables(run), CopyOutcome::not_written);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(run.settings.working_copy_name, "");
    EXPECT_EQ(read("localhost-var.xml"), "%A%");

    // A script that cannot be opened leaves no working copy name behind.
    run = RunContext{};
    run.settings.input_file_name = "missing.xml";
    testing::internal::CaptureStdout();
    EXPECT_EQ(substitute_variables(run), CopyOutcome::not_written);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot open input file \"missing.xml\". Exiting.\r\n");
    EXPECT_STREQ(run.settings.working_copy_name, "");
}

TEST(PlaceholderScan, NamesEachPlaceholderOnceAcrossPieces)
{
    const struct {
        std::vector<std::string> pieces;
        std::string names;
    } cases[] = {
        {{"<A P=\"%PW%\" U=\"%USER%\"/><B P=\"%PW%\"/>"}, "%PW%, %USER%"},
        {{"<A P=\"%P", "W%\"/>"}, "%PW%"},  // split between reads
        {{"100% sure, 50% off, %%, %a b%"}, ""},
        {{"%%X%"}, "%X%"},
        {{"%" + std::string(49, 'N') + "%"}, ""},
        {{"%new_user.name-2%"}, "%new_user.name-2%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pieces[0]);
        PlaceholderScan scan;
        for (const auto& piece : c.pieces)
            scan.scan(piece.data(), piece.size());
        EXPECT_EQ(scan.names(), c.names);
    }
    PlaceholderScan many;
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "%N" + std::to_string(i) + "%";
    many.scan(text.data(), text.size());
    EXPECT_TRUE(many.names().ends_with("%N23%, %N24%, ...")) << many.names();
}

}  // namespace
