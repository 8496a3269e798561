// The table of causes: each code once, the first failure's cause kept, an
// exit status without a noted cause still given one, and words bounded
// between words.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "records/run_causes.h"
#include "records/run_context.h"

namespace {

TEST(RunCauses, EveryCauseHasOneRowAndOneCode)
{
    std::set<std::string> codes;
    std::set<int> causes;
    for (const CauseRow& row : cause_rows()) {
        EXPECT_TRUE(codes.insert(row.code).second) << row.code;
        EXPECT_TRUE(causes.insert(static_cast<int>(row.cause)).second) << row.code;
        EXPECT_EQ(&cause_row(row.cause), &row) << row.code;
        EXPECT_EQ(cause_by_code(row.code), &row) << row.code;
        EXPECT_NE(std::string(row.meaning), "") << row.code;
        EXPECT_NE(std::string(row.advice), "") << row.code;
    }
    // Every cause but none has its row.
    EXPECT_EQ(causes.size(), static_cast<size_t>(Cause::run_unusable));
    EXPECT_EQ(cause_by_code("no.such"), nullptr);
}

TEST(RunCauses, TheFirstNotedCauseStaysAndAgreesWithTheExitStatus)
{
    RunContext run;
    EXPECT_EQ(final_cause(run, 0).cause, Cause::none);
    note_cause(run, Cause::connect_refused, "10.0.0.1:443 refused the connection", 0, "ECONNREFUSED");
    note_cause(run, Cause::processor_closed, "later");
    RunCause cause = final_cause(run, 255);
    EXPECT_EQ(cause.cause, Cause::connect_refused);
    EXPECT_EQ(cause.system_error, "ECONNREFUSED");
    EXPECT_EQ(cause_line("quorvex", cause),
              "quorvex: connect.refused: 10.0.0.1:443 refused the connection. Check that the processor is on and "
              "that the port is its management port.\n");
    // A success has no cause, whatever was noted on the way.
    EXPECT_EQ(final_cause(run, 0).cause, Cause::none);
    // A noted cause that does not end with this exit status gives way to
    // the exit status's own.
    EXPECT_EQ(final_cause(run, 3).cause, Cause::processor_closed);
}

TEST(RunCauses, AnExitStatusWithoutANotedCauseHasItsOwn)
{
    RunContext run;
    struct {
        int exit_status;
        const char* code;
    } const table[] = {
        {1, "command.failed"}, {2, "script.unreadable"}, {3, "processor.closed"}, {4, "http.refused"},
        {6, "send.failed"},    {8, "firmware.not-confirmed"}, {64, "usage"}, {74, "log.unwritable"},
        {77, "identity.changed"}, {255, "run.unusable"}, {95, "processor.status"}, {143, "interrupted"},
    };
    for (const auto& row : table)
        EXPECT_STREQ(cause_row(final_cause(run, row.exit_status).cause).code, row.code) << row.exit_status;
}

TEST(RunCauses, AProcessorStatusCauseTakesAnyFailingStatus)
{
    RunContext run;
    note_cause(run, Cause::processor_status, "status 0x0105");
    EXPECT_EQ(final_cause(run, 5).cause, Cause::processor_status);
    refine_cause(run, Cause::image_rejected, "the processor refused the image \"fw.bin\"");
    RunCause cause = final_cause(run, 5);
    EXPECT_EQ(cause.cause, Cause::image_rejected);
    EXPECT_EQ(cause.detail, "the processor refused the image \"fw.bin\": status 0x0105");
}

TEST(RunCauses, WordsAreBoundedBetweenWords)
{
    struct {
        std::string text;
        size_t limit;
        std::string bounded;
    } const table[] = {
        {"short enough", 20, "short enough"},
        {"line\r\nends\tand tabs  ", 40, "line  ends and tabs"},
        {"remove or edit line 2 of known", 20, "remove or edit ..."},
        {"one-unbroken-word-longer-than-the-limit", 12, "one-unbr ..."},
        // A character of several bytes is never cut in two.
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 8, "\xC3\xA9\xC3\xA9 ..."},
    };
    for (const auto& row : table) {
        std::string bounded = bounded_words(row.text, row.limit);
        EXPECT_EQ(bounded, row.bounded) << row.text;
        EXPECT_LE(bounded.size(), row.limit) << row.text;
    }
}

TEST(RunCauses, LongParticularsLeaveTheAdviceWhole)
{
    RunCause cause{Cause::script_syntax, "line 5: " + std::string(2000, 'x') + " near", 5, {}};
    std::string words = cause_words(cause);
    EXPECT_LE(words.size(), CAUSE_WORDS_LIMIT);
    EXPECT_TRUE(words.ends_with(cause_row(Cause::script_syntax).advice)) << words;
    EXPECT_TRUE(words.starts_with("Line 5: ")) << words;
}

}  // namespace

// The README's table of causes (which the manual page is made from) and
// the report schema's list of codes hold every row of the program's table,
// as it is, and nothing else.
namespace {

std::string source_text(const char* path)
{
    std::ifstream file(std::string(QUORVEX_SOURCE_DIR) + "/" + path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string exit_cell(int exit_status)
{
    return exit_status_text(exit_status);
}

TEST(CauseDocuments, TheReadmeAndTheSchemaHoldEveryCauseAsTheTableSaysIt)
{
    std::string readme = source_text("README.md");
    size_t start = readme.find("\n## Causes of a failed run\n");
    ASSERT_NE(start, std::string::npos);
    size_t end = readme.find("\n## ", start + 1);
    std::istringstream section(readme.substr(start, end - start));
    std::vector<std::string> documented;
    for (std::string line; std::getline(section, line);)
        if (line.starts_with("| `"))
            documented.push_back(line);
    std::vector<std::string> expected;
    for (const CauseRow& row : cause_rows())
        expected.push_back(std::string("| `") + row.code + "` | " + exit_cell(row.exit_status) + " | " + row.stage +
                           " | " + row.meaning + " | " + row.advice + " |");
    EXPECT_EQ(documented, expected) << "README, \"Causes of a failed run\": one row per cause, as the table has it";

    std::string schema = source_text("docs/run-report.schema.json");
    std::smatch codes;
    ASSERT_TRUE(std::regex_search(schema, codes, std::regex("\"code\": \\{\"enum\": \\[([^\\]]*)\\]")));
    std::string listed;
    for (const CauseRow& row : cause_rows())
        listed += std::string(listed.empty() ? "" : ", ") + "\"" + row.code + "\"";
    EXPECT_EQ(codes[1].str(), listed) << "docs/run-report.schema.json: the cause codes";
}

}  // namespace

// The exit table: every cause ends with a status it lists, and its copies
// (the README's exit table, the Ansible module's meanings for runs that
// leave no report) list the same statuses with the same words.
namespace {

// The Python string literals of text, joined as Python joins adjacent ones.
std::string python_strings(const std::string& text)
{
    static const std::regex literal("\"([^\"]*)\"");
    std::string joined;
    for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it)
        joined += (*it)[1].str();
    return joined;
}

TEST(ExitDocuments, EveryCauseEndsWithAListedStatusAndTheCopiesSayTheSame)
{
    std::set<int> ending;
    for (const CauseRow& row : cause_rows()) {
        ending.insert(row.exit_status);
        EXPECT_TRUE(exit_status_listed(row.exit_status)) << row.code << " ends with a status the exit table lacks";
    }
    std::vector<std::string> statuses;
    for (const ExitRow& row : exit_rows()) {
        EXPECT_TRUE(row.exit_status == 0 || ending.contains(row.exit_status))
            << exit_status_text(row.exit_status) << ": no cause ends with it";
        statuses.push_back(exit_status_text(row.exit_status));
    }
    EXPECT_STREQ(exit_meaning(5), exit_meaning(EXIT_PROCESSOR_STATUS));
    EXPECT_STREQ(exit_meaning(143), exit_meaning(EXIT_SIGNAL));

    std::string readme = source_text("README.md");
    size_t start = readme.find("\n## Exit status\n");
    ASSERT_NE(start, std::string::npos);
    std::istringstream section(readme.substr(start, readme.find("\n## ", start + 1) - start));
    std::vector<std::string> documented;
    static const std::regex status_cell("^\\| ([0-9]+|other|128\\+N)[ |]");
    std::smatch cell;
    for (std::string line; std::getline(section, line);)
        if (std::regex_search(line, cell, status_cell))
            documented.push_back(cell[1].str());
    EXPECT_EQ(documented, statuses) << "README, \"Exit status\": one row per status of the exit table, in its order";

    std::string module =
        source_text("ansible/ansible_collections/quorvex/moxcl/plugins/module_utils/exit_status.py");
    std::smatch block;
    ASSERT_TRUE(std::regex_search(module, block, std::regex("MEANINGS = \\{([^}]*)\\}")));
    std::string entries = block[1].str();
    static const std::regex entry("([0-9]+): ((\"[^\"]*\"\\s*)+),");
    std::vector<std::string> copied, expected;
    for (std::sregex_iterator it(entries.begin(), entries.end(), entry), end; it != end; ++it)
        copied.push_back((*it)[1].str() + ": " + python_strings((*it)[2].str()));
    for (const ExitRow& row : exit_rows())
        if (row.exit_status >= 0)
            expected.push_back(std::to_string(row.exit_status) + ": " + row.meaning);
    std::sort(copied.begin(), copied.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(copied, expected) << "the Ansible module's MEANINGS";
    for (const auto& [name, status] : {std::pair{"SIGNALLED", EXIT_SIGNAL}, {"PROCESSOR_STATUS", EXIT_PROCESSOR_STATUS}}) {
        std::smatch line;
        ASSERT_TRUE(std::regex_search(module, line, std::regex(std::string("\n") + name + " = (\"[^\"]*\")")));
        EXPECT_EQ(python_strings(line[1].str()), exit_meaning(status)) << name;
    }
}

}  // namespace
