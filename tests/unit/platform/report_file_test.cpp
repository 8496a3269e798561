// The report file: written whole through a temporary of its own, never
// through a link that stands at its name or at the temporary's.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/report_file.h"

namespace {

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ReportFile : ::testing::Test {
    char folder[64] = "/tmp/quorvex-report-file-XXXXXX";
    std::string report, other, temporary;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(folder), nullptr);
        report = std::string(folder) + "/r.json";
        other = std::string(folder) + "/other.txt";
        temporary = report + "." + std::to_string(getpid()) + ".tmp";
        std::ofstream(other) << "keep me";
    }
    void TearDown() override
    {
        for (const std::string& path : {report, other, temporary})
            unlink(path.c_str());
        rmdir(folder);
    }
};

TEST_F(ReportFile, ReplacesALinkAtItsNameNotWhatItPointsTo)
{
    ASSERT_EQ(symlink(other.c_str(), report.c_str()), 0);
    ASSERT_TRUE(prepare_report_file(0, report.c_str()));
    ASSERT_TRUE(write_report_file(0, "{}\n", 3));
    struct stat status {};
    ASSERT_EQ(lstat(report.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(read_all(report), "{}\n");
    EXPECT_EQ(read_all(other), "keep me");
    EXPECT_NE(access(temporary.c_str(), F_OK), 0);
}

// The report holds every answer's data: like the log, its owner's alone,
// whatever the process's umask lets through.
TEST_F(ReportFile, IsReadableByItsOwnerOnly)
{
    mode_t mask = umask(022);
    ASSERT_TRUE(prepare_report_file(0, report.c_str()));
    ASSERT_TRUE(write_report_file(0, "{}\n", 3));
    umask(mask);
    struct stat status {};
    ASSERT_EQ(stat(report.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(ReportFile, RefusesALinkPlantedAtTheTemporaryName)
{
    ASSERT_EQ(symlink(other.c_str(), temporary.c_str()), 0);
    ASSERT_TRUE(prepare_report_file(0, report.c_str()));
    EXPECT_FALSE(write_report_file(0, "{}\n", 3));
    EXPECT_EQ(read_all(other), "keep me");
    EXPECT_NE(access(report.c_str(), F_OK), 0);
}

TEST_F(ReportFile, AFolderThatIsNotThereFailsAndLeavesNothing)
{
    std::string missing = std::string(folder) + "/no/r.json";
    ASSERT_TRUE(prepare_report_file(0, missing.c_str()));
    EXPECT_FALSE(write_report_file(0, "{}\n", 3));
    EXPECT_FALSE(prepare_report_file(0, std::string(5000, 'x').c_str()));
}

}  // namespace
