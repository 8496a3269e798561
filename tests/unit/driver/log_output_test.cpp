#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/run.h"
#include "records/log_output.h"
#include "records/run_context.h"
#include "tests/unit/test_files.h"

namespace {

TEST(LogOutput, EachWriterWritesTheSameLineToConsoleAndLog)
{
    RunContext run;
    snprintf(run.settings.program_name, sizeof run.settings.program_name, "/opt/bin/quorvex");
    FILE* log = tmpfile();
    run.state.log_stream = log;
    const std::string long_text(10000, 'x');  // longer than the format buffer: written whole

    testing::internal::CaptureStdout();
    log_error(run, "Cannot open input file \"%s\". Exiting.\r\n", "a.xml");
    log_info(run, "Receiving (%d):\r\n%s\r\n", 3, long_text.c_str());
    log_plain(run, "%s", "<RESPONSE/>");
    write_both(run, "\r\n", 2);
    std::string console = testing::internal::GetCapturedStdout();

    const std::string expected = "/opt/bin/quorvex: ERROR: Cannot open input file \"a.xml\". Exiting.\r\n"
                                 "/opt/bin/quorvex: Receiving (3):\r\n" + long_text + "\r\n"
                                 "<RESPONSE/>\r\n";
    EXPECT_EQ(console, expected);
    EXPECT_EQ(stream_text(log), expected);
    run.state.log_stream = nullptr;
    fclose(log);
}

}  // namespace
