#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "records/run_context.h"
#include "tests/unit/test_files.h"

namespace {

struct Args {
    std::vector<std::string> words;
    std::vector<char*> pointers;
    explicit Args(std::vector<std::string> list) : words(std::move(list))
    {
        words.insert(words.begin(), "quorvex");
        for (auto& word : words)
            pointers.push_back(word.data());
        pointers.push_back(nullptr);
    }
    int count() const { return static_cast<int>(words.size()); }
    char** argv() { return pointers.data(); }
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("DEVICEIPADDRESS0");
        unsetenv("QUORVEX_USER");
        unsetenv("QUORVEX_PASSWORD");
    }
    CommandLine parse(std::vector<std::string> words)
    {
        args = std::make_unique<Args>(std::move(words));
        return parse_command_line(run, args->count(), args->argv());
    }
    RunContext run;
    std::unique_ptr<Args> args;
};

struct ServerForm {
    const char* value;
    const char* address;
    const char* port;
    bool ipv6;
};

TEST_F(CommandLineTest, ServerAddressForms)
{
    const ServerForm forms[] = {
        {"10.0.0.7", "10.0.0.7", "443", false},
        {"10.0.0.7:8443", "10.0.0.7", "8443", false},
        {"mp1.example:444", "mp1.example", "444", false},
        {"mp1.example:", "mp1.example", "443", false},
        {"mp1:65535", "mp1", "65535", false},
        {"fe80::5", "fe80::5", "443", true},
        {"fe80::5%eth0", "fe80::5%eth0", "443", true},
        {"[fe80::5]:444", "fe80::5", "444", true},
        {"[fe80::5]", "fe80::5", "443", true},
        {"[mp1]:8443", "mp1", "8443", false},
        {"x]y", "x]y", "443", false},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.value);
        run = RunContext{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(parse({"-s", form.value, "-f", "a.xml"}), CommandLine::go_on);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_STREQ(run.settings.server_address, form.address);
        EXPECT_STREQ(run.settings.port_text, form.port);
        EXPECT_EQ(run.settings.ipv6_server, form.ipv6);
        EXPECT_EQ(out, std::string("Server is ") + form.address + " \n");
    }
}

TEST_F(CommandLineTest, OptionsAreCaseInsensitiveAndTakeAnyValue)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-S", "mp1", "/F", "a.xml", "-v", "-u", "-admin", "-P", "-x", "-L", "log.txt", "/c"}), CommandLine::go_on);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(run.settings.server_address, "mp1");
    EXPECT_STREQ(run.settings.input_file_name, "a.xml");
    EXPECT_STREQ(run.settings.user_name, "-admin");
    EXPECT_STREQ(run.settings.password, "-x");
    EXPECT_STREQ(run.settings.log_file_name, "log.txt");
    EXPECT_TRUE(run.settings.log_file_given);
    EXPECT_TRUE(run.settings.verbose);
    EXPECT_TRUE(run.settings.check_only);
}

TEST_F(CommandLineTest, LaterValuesWin)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-s", "mp1", "-f", "a.xml", "-f", "b.xml", "-u", "a", "-u", "b"}), CommandLine::go_on);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(run.settings.input_file_name, "b.xml");
    EXPECT_STREQ(run.settings.user_name, "b");
}

TEST_F(CommandLineTest, EnvironmentServer)
{
    struct {
        const char* value;
        const char* address;
        const char* port;
    } const cases[] = {
        {"10.0.0.7:444", "10.0.0.7", "444"},
        {"10.0.0.7", "10.0.0.7", "443"},
        {"10.0.0.7:", "10.0.0.7", "443"},
        {"fe80::5", "fe80", ":5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        run = RunContext{};
        setenv("DEVICEIPADDRESS0", c.value, 1);
        EXPECT_EQ(parse({"-f", "a.xml"}), CommandLine::go_on);
        EXPECT_STREQ(run.settings.server_address, c.address);
        EXPECT_STREQ(run.settings.port_text, c.port);
        EXPECT_FALSE(run.settings.ipv6_server);
    }
}

TEST_F(CommandLineTest, PortsLongerThanTheirFieldAreRefusedNotCut)
{
    const char* const values[] = {"mp1:123456", "[fe80::5]:443000", "10.0.0.7:0000443"};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        run = RunContext{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(parse({"-s", value, "-f", "a.xml"}), CommandLine::refused);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, std::string("The port \"") + (strrchr(value, ':') + 1) + "\" must be 5 characters or less\n");
        EXPECT_STREQ(run.settings.port_text, "");
    }
    run = RunContext{};
    setenv("DEVICEIPADDRESS0", "mp1:123456", 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-f", "a.xml"}), CommandLine::refused);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "The port \"123456\" must be 5 characters or less\n");
    EXPECT_STREQ(run.settings.server_address, "");
}

TEST_F(CommandLineTest, RefusedServers)
{
    const std::string long_name(51, 'a');
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-s", long_name, "-x"}), CommandLine::refused);  // nothing after it is examined
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Server IP address or Fully Qualified Domain Name specified with the 's' option must be 50 characters or less\n");
    EXPECT_STREQ(run.settings.server_address, "");

    run = RunContext{};
    setenv("DEVICEIPADDRESS0", "", 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-f", "a.xml"}), CommandLine::refused);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Server Address not in Environment or no server name included on command line!\r\n");

    run = RunContext{};
    EXPECT_EQ(parse({"-f", "a.xml", "-c"}), CommandLine::go_on);  // a check needs no server

    run = RunContext{};
    setenv("DEVICEIPADDRESS0", (std::string(51, 'h') + ":444").c_str(), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-f", "a.xml"}), CommandLine::refused);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(run.settings.server_address, "");
}

TEST_F(CommandLineTest, UsageFaultsEndTheRunWithTheUsage)
{
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"-f"},
        {"-f", "a.xml", "-v"},
        {"-sv", "mp1"},
        {"-shost"},
        {"s", "mp1"},
        {"-x"},
        {"-t", "a=1", "-f", "a.xml"},
        {"-f", "a.xml", "-t"},
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(parse(lines[i]), i == 0 ? CommandLine::usage : CommandLine::usage_error);
    }
    EXPECT_EQ(parse({"-f", "a.xml"}), CommandLine::usage_error);  // no server anywhere
    EXPECT_EQ(parse({"-s", "mp1", "-f", "a.xml", "-s", "mp2"}), CommandLine::usage_error);
    EXPECT_EQ(parse({"-l", "-s", "-s", "mp1", "-s", "mp2"}), CommandLine::usage_error);
    EXPECT_EQ(parse({"-s", "[fe80::5", "-f", "a.xml"}), CommandLine::usage_error);
}

// Only an option counts as a second -s: a value spelled "-s" is a value.
TEST_F(CommandLineTest, ValueSpelledLikeServerOptionIsAValue)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-u", "-s", "-s", "mp1", "-f", "a.xml"}), CommandLine::go_on);
    EXPECT_STREQ(run.settings.user_name, "-s");
    EXPECT_STREQ(run.settings.server_address, "mp1");
    run = RunContext{};
    EXPECT_EQ(parse({"-l", "-s", "-s", "mp1", "-f", "a.xml"}), CommandLine::go_on);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(run.settings.log_file_name, "-s");
    EXPECT_STREQ(run.settings.server_address, "mp1");
}

// -t pairs the run refuses refuse a check as well: the parser stops the
// run either way (255), never lets a check pass what the run would refuse.
TEST_F(CommandLineTest, RefusedPairsStopACheckToo)
{
    const std::string refused[] = {"v=" + std::string(49, 'x'), "v=1,w=2=3", "novalue"};
    for (const std::string& pairs : refused) {
        for (bool check : {true, false}) {
            SCOPED_TRACE(pairs + (check ? " -c" : ""));
            run = RunContext{};
            std::vector<std::string> words = {"-s", "mp1", "-f", "a.xml", "-t", pairs};
            if (check)
                words.insert(words.begin(), "-c");
            testing::internal::CaptureStdout();
            EXPECT_EQ(parse(words), CommandLine::stop);
            std::string out = testing::internal::GetCapturedStdout();
            EXPECT_NE(out.find("Invalid Substituion String\r\n"), std::string::npos) << out;
        }
    }
}

// A password given with -p is kept by the run and overwritten in the
// arguments, which the process list shows; one warning on standard error
// names the way that keeps it out of there. An empty -p is no secret.
TEST_F(CommandLineTest, PasswordArgumentIsOverwritten)
{
    run.console.errors = tmpfile();
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-s", "mp1", "-p", "s3cret", "-f", "a.xml", "/P", "later"}), CommandLine::go_on);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(run.settings.password, "later");
    EXPECT_EQ(args->words[4], "xxxxxx");
    EXPECT_EQ(args->words[8], "xxxxx");
    EXPECT_STREQ(run.settings.input_file_name, "a.xml");
    EXPECT_EQ(stream_text(run.console.errors),
              "Warning: a password given with -p can be read by other users of this computer; give it with "
              "QUORVEX_PASSWORD_FILE instead.\n");
    fclose(run.console.errors);

    run = RunContext{};
    run.console.errors = tmpfile();
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"-s", "mp1", "-f", "a.xml", "-p", ""}), CommandLine::go_on);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ftell(run.console.errors), 0);
    fclose(run.console.errors);
    run.console.errors = stderr;
}

TEST(Ipv6LogName, Examples)
{
    const std::pair<const char*, const char*> examples[] = {
        {"fe80::5", "fe80.0.0.0.0.0.0.5"},
        {"::1", "0.0.0.0.0.0.0.1"},
        {"::", "0.0.0.0.0.0.0.0"},
        {"fe80::", "fe80.0.0.0.0.0.0.0"},
        {"::ffff:10.1.2.3", "0.0.0.0.0.ffff.10.1.2.3"},
        {"1:2:3:4:5:6:7:8", "1.2.3.4.5.6.7.8"},
        {"", ""},
        // A long zone is cut to the 39 characters the field holds.
        {"fe80::5%abcdefghijklmnopqrstuvwxyz", "fe80.0.0.0.0.0.0.5%abcdefghijklmnopqrst"},
    };
    for (const auto& [address, expected] : examples) {
        SCOPED_TRACE(address);
        RunContext run;
        snprintf(run.settings.server_address, sizeof run.settings.server_address, "%s", address);
        char name[IPV6_LOG_NAME_SIZE];
        make_ipv6_log_name(run.settings.server_address, name);
        EXPECT_STREQ(name, expected);
    }
}

}  // namespace

namespace {

struct TimeoutForm {
    const char* value;  // nullptr: not set
    int result;
    int seconds;        // both limits after the parse
};

TEST_F(CommandLineTest, TimeoutFromTheEnvironment)
{
    const TimeoutForm forms[] = {
        {nullptr, 0, -1},
        {"", 0, -1},
        {"5", 0, 5},
        {"0", 0, 0},
        {"1000000", 0, 1000000},
        {"1000001", -1, -1},
        {"99999999999999999999", -1, -1},
        {"-1", -1, -1},
        {"5s", -1, -1},
        {" 5", -1, -1},
    };
    for (const TimeoutForm& form : forms) {
        run = RunContext{};
        if (form.value)
            setenv("QUORVEX_TIMEOUT", form.value, 1);
        else
            unsetenv("QUORVEX_TIMEOUT");
        EXPECT_EQ(parse({"-s", "mp1", "-f", "a.xml"}), form.result == 0 ? CommandLine::go_on : CommandLine::refused) << (form.value ? form.value : "unset");
        int connect = form.seconds < 0 ? DEFAULT_CONNECT_WAIT_SECONDS : form.seconds;
        int data = form.seconds < 0 ? DEFAULT_DATA_WAIT_SECONDS : form.seconds;
        EXPECT_EQ(run.settings.connect_wait_seconds, connect) << (form.value ? form.value : "unset");
        EXPECT_EQ(run.settings.data_wait_seconds, data) << (form.value ? form.value : "unset");
    }
    unsetenv("QUORVEX_TIMEOUT");
}

struct CredentialForm {
    const char* name;
    const char* user_variable;      // nullptr: not set
    const char* password_variable;  // nullptr: not set
    std::vector<std::string> words;
    const char* user;
    const char* password;
};

// QUORVEX_USER and QUORVEX_PASSWORD stand in for an absent -u and -p, and
// only for them: a given option wins, even an empty one, and so does a -p
// behind a server too long to take.
TEST_F(CommandLineTest, CredentialsFromTheEnvironment)
{
    const CredentialForm forms[] = {
        {"neither set", nullptr, nullptr, {"-s", "mp1", "-f", "a.xml"}, "", ""},
        {"both from the environment", "envuser", "envpass", {"-s", "mp1", "-f", "a.xml"}, "envuser", "envpass"},
        {"password alone", nullptr, "envpass", {"-s", "mp1", "-f", "a.xml"}, "", "envpass"},
        {"user alone", "envuser", nullptr, {"-s", "mp1", "-f", "a.xml"}, "envuser", ""},
        {"options win", "envuser", "envpass", {"-s", "mp1", "-f", "a.xml", "-u", "cli", "/P", "clipass"}, "cli", "clipass"},
        {"empty -p wins", "envuser", "envpass", {"-s", "mp1", "-f", "a.xml", "-p", ""}, "envuser", ""},
        {"both set empty", "", "", {"-s", "mp1", "-f", "a.xml"}, "", ""},
        {"-p behind a server too long", nullptr, "envpass", {"-c", "-s", std::string(51, 'h'), "-f", "a.xml", "-p", "late"}, "", "envpass"},
    };
    for (const CredentialForm& form : forms) {
        SCOPED_TRACE(form.name);
        run = RunContext{};
        SetUp();
        if (form.user_variable)
            setenv("QUORVEX_USER", form.user_variable, 1);
        if (form.password_variable)
            setenv("QUORVEX_PASSWORD", form.password_variable, 1);
        testing::internal::CaptureStdout();
        static_cast<void>(parse(form.words));
        testing::internal::GetCapturedStdout();
        EXPECT_STREQ(run.settings.user_name, form.user);
        EXPECT_STREQ(run.settings.password, form.password);
    }
    SetUp();
}

}  // namespace
