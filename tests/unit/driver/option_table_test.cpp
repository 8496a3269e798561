// The option table against everything that lists the options: the parser,
// the README's option table and synopsis, the manual page's OPTIONS, the
// bash completion and the fuzzing dictionary. A row added to the table and
// forgotten in one of them fails here, naming it.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/option_table.h"
#include "records/run_context.h"

namespace {

std::string source_file(const char* path)
{
    std::ifstream file(std::string(QUORVEX_SOURCE_DIR) + "/" + path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The part of text from the line starting with from up to the next line
// starting with until.
std::string section(const std::string& text, const std::string& from, const std::string& until)
{
    size_t start = text.find("\n" + from);
    EXPECT_NE(start, std::string::npos) << from;
    size_t end = text.find("\n" + until, start + 1);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Letter -> takes a value, as found by pattern (group 1 the letter, group 2
// not empty when a value follows).
std::map<char, bool> options_in(const std::string& text, const std::regex& pattern)
{
    std::map<char, bool> found;
    for (std::sregex_iterator match(text.begin(), text.end(), pattern), end; match != end; ++match)
        found[(*match)[1].str()[0]] = (*match)[2].length() > 0;
    return found;
}

std::map<char, bool> table_options()
{
    std::map<char, bool> options;
    for (size_t i = 0; i < option_count; ++i)
        options[option_table[i].letter] = option_table[i].value_name != nullptr;
    return options;
}

std::set<char> letters(const std::map<char, bool>& options)
{
    std::set<char> set;
    for (const auto& [letter, value] : options)
        set.insert(letter);
    return set;
}

TEST(OptionTable, DocumentsListEveryOptionWithItsValue)
{
    const std::map<char, bool> table = table_options();
    std::string readme = source_file("README.md");
    // The README's table, its first cells: "| `-s server` |", "| `-u name`, `-p password` |".
    std::string first_cells;
    std::istringstream usage(section(readme, "## Usage", "Options are case-insensitive"));
    for (std::string line; std::getline(usage, line);)
        if (line.rfind("| `", 0) == 0)
            first_cells += line.substr(0, line.find(" |", 2)) + "\n";
    EXPECT_EQ(options_in(first_cells, std::regex("`-([a-z])( [a-z]+)?`")), table) << "README option table";
    // Its synopsis: "-s server[:port]", "[-v]".
    std::string synopsis = section(readme, "    quorvex -s", "| option");
    EXPECT_EQ(letters(options_in(synopsis, std::regex("-([a-z])()[ \\]]"))), letters(table)) << "README synopsis";

    // The manual page: each option starts a .TP or .TQ item, .BI with its
    // value, .B without.
    std::string manual = section(source_file("man/quorvex.1.in"), ".SH OPTIONS", ".SH ENVIRONMENT");
    EXPECT_EQ(options_in(manual, std::regex("\\n\\.T[PQ]\\n\\.BI? \\\\-([a-z])( \")?")), table) << "manual page";

    // The completion offers both spellings, and nothing after an option
    // whose value it cannot guess; each value option has its case.
    std::string completion = section(source_file("completion/quorvex.bash"), "_quorvex()", "complete -F _quorvex ");
    std::smatch words;
    ASSERT_TRUE(std::regex_search(completion, words, std::regex("_quorvex_offer_words \"(-[^\"]*)\"")));
    EXPECT_EQ(letters(options_in(words[1].str(), std::regex("-([a-z])()"))), letters(table)) << "completion, -x";
    ASSERT_TRUE(std::regex_search(completion, words, std::regex("_quorvex_offer_words \"(/[^\"]*)\"")));
    EXPECT_EQ(letters(options_in(words[1].str(), std::regex("/([a-z])()"))), letters(table)) << "completion, /x";
    std::set<char> with_value;
    for (const auto& [letter, value] : table)
        if (value)
            with_value.insert(letter);
    EXPECT_EQ(letters(options_in(section(completion, "        case", "        esac"),
                                 std::regex("[ |]-([a-z])()\\|/"))), with_value)
        << "completion, options followed by a value";

    // The fuzzing dictionary of the command line.
    std::string dictionary = source_file("fuzz/dict/command_line.dict");
    std::set<char> in_dictionary;
    for (char letter : letters(options_in(dictionary, std::regex("\"[-/]([a-zA-Z])()\""))))
        in_dictionary.insert(static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
    EXPECT_EQ(in_dictionary, letters(table))
        << "fuzz/dict/command_line.dict";
}

class OptionParsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("DEVICEIPADDRESS0");
        unsetenv("QUORVEX_PASSWORD");
    }
    CommandLine parse(std::vector<std::string> words)
    {
        words.insert(words.begin(), "quorvex");
        storage = words;
        pointers.clear();
        for (auto& word : storage)
            pointers.push_back(word.data());
        pointers.push_back(nullptr);
        return parse_command_line(run, static_cast<int>(storage.size()), pointers.data());
    }
    RunContext run;
    std::vector<std::string> storage;
    std::vector<char*> pointers;
};

// Each option in both spellings and any case is known to the parser, and
// one that takes a value refuses to stand last without it.
TEST_F(OptionParsing, EveryRowIsAnOptionAndTakesItsValue)
{
    for (size_t i = 0; i < option_count; ++i) {
        const OptionSpec& option = option_table[i];
        for (std::string word : {std::string("-") + option.letter, std::string("/") + char(option.letter - 32)}) {
            SCOPED_TRACE(word);
            testing::internal::CaptureStdout();
            CommandLine last = parse({"-s", "mp1", "-f", "a.xml", word});
            std::string shown = testing::internal::GetCapturedStdout();
            bool refused = last == CommandLine::usage_error;
            EXPECT_EQ(refused, option.value_name != nullptr || option.never_last) << shown;
            EXPECT_EQ(shown.find("is not an option"), std::string::npos) << shown;
        }
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-s", "mp1", "-x"}), CommandLine::usage_error);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error: \"-x\" is not an option"), std::string::npos);
}

}  // namespace
