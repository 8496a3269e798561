// The Ansible module says what an exit status means for the runs that leave
// no report (module_utils/exit_status.py): its table is a copy of the
// program's, held to exit_status_meaning here, row for row.
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include "records/run_report.h"

namespace {

std::string module_text()
{
    std::ifstream file(std::string(QUORVEX_SOURCE_DIR) +
                           "/ansible/ansible_collections/quorvex/moxcl/plugins/module_utils/exit_status.py",
                       std::ios::binary);
    EXPECT_TRUE(file);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The text of adjacent Python string literals ("a, " "b").
std::string joined(const std::string& literals)
{
    static const std::regex literal("\"([^\"]*)\"");
    std::string text;
    for (std::sregex_iterator it(literals.begin(), literals.end(), literal), end; it != end; ++it)
        text += (*it)[1].str();
    return text;
}

std::string assigned(const std::string& text, const std::string& name)
{
    std::smatch found;
    if (!std::regex_search(text, found, std::regex("\n" + name + " = ((?:\"[^\"]*\"\\s*)+)\n")))
        return "(" + name + " is not assigned)";
    return joined(found[1].str());
}

TEST(AnsibleExitMeanings, TheModuleSaysWhatTheProgramSays)
{
    std::string text = module_text();
    size_t start = text.find("\nMEANINGS = {\n");
    size_t end = text.find("\n}\n", start);
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    std::string table = text.substr(start, end - start);
    std::map<int, std::string> copied;
    static const std::regex row("(\\d+): ((?:\"[^\"]*\"\\s*)+),");
    for (std::sregex_iterator it(table.begin(), table.end(), row), last; it != last; ++it)
        copied[std::stoi((*it)[1].str())] = joined((*it)[2].str());

    // Every status with a meaning of its own; the others are a processor's
    // status or a signal, which the module says with its two names.
    const std::string processor = exit_status_meaning(95, true, false);
    const std::string signalled = exit_status_meaning(143, false, false);
    std::map<int, std::string> own;
    for (int status = 0; status < 256; ++status) {
        std::string meaning = exit_status_meaning(status, false, false);
        if (meaning != processor && meaning != signalled)
            own[status] = meaning;
    }
    EXPECT_EQ(copied, own) << "the module's MEANINGS";
    EXPECT_EQ(assigned(text, "PROCESSOR_STATUS"), processor);
    EXPECT_EQ(assigned(text, "SIGNALLED"), signalled);
    EXPECT_NE(text.find('"' + std::string(exit_status_meaning(0, false, true)) + '"'), std::string::npos)
        << "the module's words for a valid script in check mode";
}

}  // namespace
