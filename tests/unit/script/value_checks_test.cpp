#include <gtest/gtest.h>

#include <string>

#include "script/value_checks.h"

namespace {

struct Verdict {
    const char* value;
    bool passes;
};

void expect_verdicts(bool (*check)(const char*), std::initializer_list<Verdict> cases)
{
    for (const Verdict& c : cases)
        EXPECT_EQ(check(c.value), c.passes) << '"' << c.value << '"';
}

TEST(ValueChecks, NumberIsWhatPercentLfReadsAtTheStart)
{
    expect_verdicts(is_number, {{"2.0", true},  {"2.0beta", true}, {"2", true},   {"-1.5", true}, {"+.5", true},
                                {" \t3", true}, {"5.", true},      {"1e5", true}, {"beta", false}, {"", false},
                                {".", false},   {"-", false},      {"+e1", false}, {".e1", false}, {"inf", false},
                                {"nan", false}, {"- 1", false}});
}

TEST(ValueChecks, IntegerIsWhatPercentDReadsAtTheStart)
{
    expect_verdicts(is_integer, {{"12abc", true}, {"12", true}, {"-3", true}, {"+0", true}, {" 7", true},
                                 {"abc", false}, {"", false}, {"-", false}, {"+ 1", false}, {".5", false}});
}

TEST(ValueChecks, ModeIsReadOrWriteInAnyCase)
{
    expect_verdicts(is_mode, {{"R", true},     {"w", true},        {"READ", true}, {"Write", true},
                              {"rEaD", true},  {"rea", false},     {"reading", false}, {"x", false},
                              {"", false},     {"r ", false},      {"writes", false}, {"wr", false}});
}

TEST(ValueChecks, BooleanWords)
{
    expect_verdicts(is_boolean, {{"Y", true},  {"yes", true},   {"TRUE", true},  {"1", true},     {"n", true},
                                 {"False", true}, {"0", true},  {"f", true},     {"t", true},     {"No", true},
                                 {"ya", false}, {"2", false},   {"", false},     {"nope", false}, {"falsee", false},
                                 {"0no", false}, {"yes ", false}, {"tru", false}});
    expect_verdicts(boolean_too_long, {{"false", false}, {"falsee", true}, {"", false}});
}

TEST(ValueChecks, HotkeyHoldsAtMostFiveKeys)
{
    expect_verdicts(hotkey_count_ok, {{"ALT,CTRL,DEL,F1,F2", true}, {"", true}, {",,,,", true},
                                      {"A,B,C,D,E,F", false}, {",,,,,", false}});
}

TEST(ValueChecks, LoginFieldLengths)
{
    const std::string longest(48, 'a');
    const std::string too_long(49, 'a');
    EXPECT_EQ(user_name_problem(longest.c_str()), nullptr);
    EXPECT_STREQ(user_name_problem(too_long.c_str()), "User login name too long. Maximum length is 48 characters.\n");
    EXPECT_STREQ(user_name_problem(""), "User login name must not be left blank.\n");
    EXPECT_EQ(password_problem(longest.c_str()), nullptr);
    EXPECT_EQ(password_problem(""), nullptr);
    EXPECT_STREQ(password_problem(too_long.c_str()), "Password too long. Maximum length is 48 characters.\n");
}

}  // namespace
