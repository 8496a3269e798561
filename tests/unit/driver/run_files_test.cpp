// The run's outputs against what it reads and against each other: any two
// that are one file, however they are spelt and whether or not they exist
// yet, refuse the run before it writes anything.
#include "driver/run_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "records/run_context.h"

namespace {

struct Outputs {
    const char* name;
    const char* server;
    const char* log;          // -l, nullptr: none
    const char* report;       // -j, nullptr: none
    const char* working_copy;  // "" : none
    bool check_only;
    bool apart;
};

TEST(RunFiles, OutputsThatAreTheScriptOrEachOtherAreRefused)
{
    char folder[64] = "/tmp/quorvex-run-files-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string top = folder;
    mkdir((top + "/sub").c_str(), 0700);
    std::ofstream(top + "/s.xml") << "<MOXCL/>";
    std::ofstream(top + "/mp1-var.xml") << "<MOXCL/>";
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(folder), 0);

    const Outputs rows[] = {
        {"apart", "mp1", "run.log", "r.json", "", false, true},
        {"report is the script", "mp1", "run.log", "s.xml", "", false, false},
        {"log is the script, spelt otherwise", "mp1", "sub/../s.xml", nullptr, "", false, false},
        {"log is the script in a check", "mp1", "s.xml", nullptr, "", true, false},
        {"log and report, neither there yet", "mp1", "out", "./out", "", false, false},
        {"same last name, other folder", "mp1", "out", "sub/out", "", false, true},
        {"default log is the script", "s.xml", nullptr, nullptr, "", false, false},
        {"a check logs to the console", "s.xml", nullptr, nullptr, "", true, true},
        {"default log is the report", "mp1", nullptr, "mp1", "", false, false},
        {"report is the working copy", "mp1", "run.log", "mp1-var.xml", "mp1-var.xml", false, false},
    };
    for (const Outputs& row : rows) {
        SCOPED_TRACE(row.name);
        RunContext run;
        run.console.out = tmpfile();
        snprintf(run.settings.server_address, sizeof run.settings.server_address, "%s", row.server);
        run.settings.input_file_name = "s.xml";
        run.settings.log_file_given = row.log != nullptr;
        run.settings.log_file_name = row.log;
        run.settings.report_file_name = row.report;
        run.settings.check_only = row.check_only;
        snprintf(run.settings.working_copy_name, sizeof run.settings.working_copy_name, "%s", row.working_copy);
        EXPECT_EQ(outputs_apart(run), row.apart);
        EXPECT_EQ(ftell(run.console.out) == 0, row.apart);
        fclose(run.console.out);
        // Nothing was made.
        EXPECT_NE(access("out", F_OK), 0);
    }
    ASSERT_EQ(chdir(here), 0);
    for (const char* name : {"/s.xml", "/mp1-var.xml", "/sub"})
        remove((top + name).c_str());
    rmdir(folder);
}

}  // namespace
