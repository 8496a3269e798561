// The processor's answers mapped to JSON, and the run report's bounds.
#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "driver/run.h"
#include "records/answer_json.h"
#include "records/run_report.h"
#include "records/run_context.h"
#include "records/secret_attributes.h"

namespace {

using json = nlohmann::ordered_json;

const char* const RESPONSE_OK = "<RESPONSE STATUS=\"0x0000\" MESSAGE='No error'/>";

std::string answer(const std::string& inside)
{
    return "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"2.22\">\r\n" + inside + "</MOXCL>\r\n";
}

// One answer's data, read from the text.
json data_of(const std::string& text)
{
    std::vector<AnswerEntry> answers = read_answers(text, 100);
    EXPECT_EQ(answers.size(), 1u) << text;
    return answers.empty() ? json() : answers[0].data;
}

TEST(AnswerJson, MapsElementsAttributesRepeatsAndText)
{
    struct Case {
        const char* inside;
        const char* data;
    } cases[] = {
        {"<NET><IP VALUE=\"10.0.0.7\"/></NET>", R"({"NET":{"IP":{"VALUE":"10.0.0.7"}}})"},
        {"<USERS><USER NAME=\"a\"/><USER NAME=\"b\"/></USERS>", R"({"USERS":{"USER":[{"NAME":"a"},{"NAME":"b"}]}})"},
        {"<CSR>\r\n-----BEGIN-----\r\n</CSR>", R"({"CSR":{"#text":"-----BEGIN-----"}})"},
        {"<A X=\"1\"/><B/><A X=\"2\"/>", R"({"A":[{"X":"1"},{"X":"2"}],"B":{}})"},
        {"<V T=\"&lt;&amp;&quot;\"/>", R"({"V":{"T":"<&\""}})"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(data_of(answer(std::string(RESPONSE_OK) + c.inside)), json::parse(c.data)) << c.inside;
    // An answer without data carries none.
    EXPECT_TRUE(data_of(answer(RESPONSE_OK)).is_null());
}

TEST(AnswerJson, SecretsAreMaskedWhereverTheyStand)
{
    json data = data_of(answer(std::string(RESPONSE_OK) +
                               "<USER LOGIN=\"op\" PASSWORD=\"pw-one\" user_password=\"pw-two\"/>"
                               "<SNMP SNMP_ADDRESS_1_TRAPCOMMUNITY=\"pw-three\"/>"
                               "<PASSWORD VALUE=\"pw-four\">pw-five<INNER V=\"pw-six\"/></PASSWORD>"));
    std::string text = data.dump();
    for (const char* secret : {"pw-one", "pw-two", "pw-three", "pw-four", "pw-five", "pw-six"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
    EXPECT_EQ(data["USER"]["LOGIN"], "op");
    EXPECT_EQ(data["USER"]["PASSWORD"], "********");
}

// Secrets are masked; settings about them, bounds on passwords, are not:
// a compliance query reads the minimum password length from the report.
TEST(SecretAttributes, SecretsAreMaskedAndSettingsAboutThemAreNot)
{
    struct Case {
        const char* name;
        bool secret;
    } cases[] = {
        {"PASSWORD", true},          {"password", true},        {"USER_PASSWORD", true},
        {"NEW_PASSWORD", true},      {"ADMIN_PASSWORD", true},  {"SNMP_ADDRESS_2_TRAPCOMMUNITY", true},
        {"COMMUNITY", true},         {"MIN_PASSWORD", false},   {"min_password", false},
        {"MAX_PASSWORD", false},     {"MINIMUM_PASSWORD", false}, {"DIR_MIN_PASSWORD", false},
        {"PASSWORD_MIN", false},     {"USER_LOGIN", false},     {"VALUE", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_secret_attribute(c.name), c.secret) << c.name;

    json data = data_of(answer(std::string(RESPONSE_OK) +
                               "<GLOBAL_SETTINGS><MIN_PASSWORD VALUE=\"11\"/><SESSION_TIMEOUT VALUE=\"30\"/>"
                               "<ADMIN_PASSWORD VALUE=\"pw-one\"/></GLOBAL_SETTINGS>"));
    EXPECT_EQ(data["GLOBAL_SETTINGS"]["MIN_PASSWORD"]["VALUE"], "11");
    EXPECT_EQ(data["GLOBAL_SETTINGS"]["ADMIN_PASSWORD"]["VALUE"], "********");
    EXPECT_EQ(mask_secret_attributes("<MIN_PASSWORD VALUE=\"8\"/> <X NEW_PASSWORD=\"pw\"/>"),
              "<MIN_PASSWORD VALUE=\"8\"/> <X NEW_PASSWORD=\"********\"/>");
}

TEST(SecretAttributes, ValuesInQuotedScriptLinesAreMasked)
{
    struct Case {
        const char* line;
        const char* masked;
    } cases[] = {
        {"<LOGIN USER_LOGIN=\"admin\" PASSWORD=\"s3cret\"/>", "<LOGIN USER_LOGIN=\"admin\" PASSWORD=\"********\"/>"},
        {"near \"x\" in: <LOGIN password = 's3 cret'>", "near \"x\" in: <LOGIN password = '********'>"},
        {"<SNMP SNMP_ADDRESS_1_TRAPCOMMUNITY=s3cret/>", "<SNMP SNMP_ADDRESS_1_TRAPCOMMUNITY=********/>"},
        {"<X NEW_PASSWORD=\"unclosed", "<X NEW_PASSWORD=\"********"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mask_secret_attributes(c.line), c.masked) << c.line;
}

TEST(AnswerJson, SurvivesWhatProcessorsSend)
{
    // Several documents one after another, each with its declaration, and
    // blanks between them: one entry each, in order.
    std::string reply = answer("<RESPONSE STATUS=\"0x0000\" MESSAGE='first'/>") + "\r\n" +
                        answer("<RESPONSE STATUS=\"0x005F\" MESSAGE='second'/><X A=\"1\"/>") +
                        answer("<RESPONSE STATUS=\"0x003C\" MESSAGE='third'/>");
    std::vector<AnswerEntry> answers = read_answers(reply, 100);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].message, "first");
    EXPECT_EQ(answers[1].status, 0x5F);
    EXPECT_EQ(answers[1].data_name, "X");
    EXPECT_EQ(answers[2].status, 0x3C);
    for (const AnswerEntry& entry : answers)
        EXPECT_TRUE(entry.complete);

    // Documents without declarations, and several RESPONSE elements in one root.
    answers = read_answers("<MOXCL><RESPONSE STATUS=\"0x0000\" MESSAGE='a'/><RESPONSE STATUS=\"0x0001\" "
                           "MESSAGE='b'/></MOXCL><MOXCL><RESPONSE STATUS=\"0x0000\" MESSAGE='c'/></MOXCL>",
                           100);
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[1].status, 1);

    // A cut answer says so; what came whole before it stands.
    std::string cut = answer(RESPONSE_OK) + answer("<RESPONSE STATUS=\"0x0000\" MESSAGE='x'/><DATA><A");
    cut.resize(cut.find("<A") + 2);
    answers = read_answers(cut, 100);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0].complete);
    EXPECT_FALSE(answers[1].complete);
    EXPECT_EQ(answers[1].problem, "cut short");

    // Text that is no XML, then a good answer: an incomplete entry, then the answer.
    answers = read_answers("garbage <<>> \r\n" + answer(RESPONSE_OK), 100);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_FALSE(answers[0].complete);
    EXPECT_TRUE(answers[1].complete);

    // A status that is no number is null; so is a missing one.
    answers = read_answers(answer("<RESPONSE STATUS=\"0xZZ\"/>") + answer("<RESPONSE MESSAGE='m'/>"), 100);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_TRUE(answers[0].status.is_null());
    EXPECT_TRUE(answers[1].status.is_null());
    EXPECT_TRUE(answers[0].message.is_null());
}

// A status is its hexadecimal number, eight digits at most after the 0x.
TEST(AnswerJson, StatusIsItsHexadecimalNumber)
{
    struct Case {
        const char* status;
        json value;
    } cases[] = {
        {"0x003C", 60},
        {"0x0000003C", 60},
        {"0XFFFFFFFF", 4294967295u},
        {"0x00000003C", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<AnswerEntry> answers =
            read_answers(answer(std::string("<RESPONSE STATUS=\"") + c.status + "\"/>"), 100);
        ASSERT_EQ(answers.size(), 1u) << c.status;
        EXPECT_EQ(answers[0].status, c.value) << c.status;
    }
}

TEST(AnswerJson, BoundedInCountAndDepth)
{
    std::string many;
    for (int i = 0; i < 50; ++i)
        many += answer(RESPONSE_OK);
    EXPECT_EQ(read_answers(many, 7).size(), 7u);

    std::string deep = std::string(RESPONSE_OK);
    for (int i = 0; i < 200; ++i)
        deep += "<D>";
    for (int i = 0; i < 200; ++i)
        deep += "</D>";
    std::vector<AnswerEntry> answers = read_answers(answer(deep), 10);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0].complete);
    EXPECT_LT(answers[0].data.dump().size(), 2000u);
}

// A processor that sends far more than a report may hold: the report stays
// within its limit, parses, and says what it left out.
TEST(RunReport, StaysWithinItsSizeLimit)
{
    RunContext run;
    report_start(run, "9.9", false);
    std::string big = answer(std::string(RESPONSE_OK) + "<D>" + std::string(1 << 20, 'x') + "</D>");
    for (int i = 0; i < 12; ++i)
        report_reply_bytes(run, big.data(), big.size());
    std::string text = render_run_report(run, 0, false);
    EXPECT_LE(text.size(), REPORT_SIZE_LIMIT);
    json report = json::parse(text);
    EXPECT_EQ(report["answers_text_left_out"], true);
    EXPECT_EQ(report["exit_status"], 0);

}

// More answers than the report lists: it lists REPORT_ANSWER_LIMIT of them
// and says how many more there were, in both transports.
TEST(RunReport, SaysHowManyAnswersItLeftOut)
{
    const std::string one = answer(RESPONSE_OK);
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream ? "stream" : "http");
        RunContext run;
        report_start(run, "9.9", false);
        report_transport(run, stream ? ProcessorGeneration::stream : ProcessorGeneration::http);
        for (size_t i = 0; i < REPORT_ANSWER_LIMIT + 5; ++i) {
            if (stream) {
                report_element_sent(run, "SET_ITEM_A");
                report_answer_bytes(run, one.data(), one.size());
                report_answer_end(run, false);
            } else {
                report_reply_bytes(run, one.data(), one.size());
            }
        }
        json report = json::parse(render_run_report(run, 0, false));
        EXPECT_EQ(report["responses"].size(), REPORT_ANSWER_LIMIT);
        EXPECT_EQ(report["responses_left_out"], 5);
    }
    // Within the limit nothing is said.
    RunContext run;
    report_start(run, "9.9", false);
    report_reply_bytes(run, one.data(), one.size());
    EXPECT_FALSE(json::parse(render_run_report(run, 0, false)).contains("responses_left_out"));
}

// The values of the run's passwords are masked wherever the processor
// echoes them (a message, a data value that is no secret attribute).
TEST(RunReport, KnownSecretsAreMaskedInEveryText)
{
    RunContext run;
    run.settings.password = "from-the-command-line";
    report_start(run, "9.9", false);
    report_secret_value(run, "\"from-the-script\"");
    std::string reply = answer("<RESPONSE STATUS=\"0x0005\" MESSAGE='bad password from-the-script'/>"
                               "<USER NOTE=\"was from-the-command-line\"/><X from-the-script=\"1\"/>");
    report_reply_bytes(run, reply.data(), reply.size());
    report_processor_status(run, 5);
    std::string text = render_run_report(run, 5, false);
    EXPECT_EQ(text.find("from-the-script"), std::string::npos);
    EXPECT_EQ(text.find("from-the-command-line"), std::string::npos);
    EXPECT_NE(text.find("bad password ********"), std::string::npos);
}

// The first REPORT_IMAGE_LIMIT images are listed; those after them are
// only counted.
TEST(RunReport, ImageListStopsAtItsBound)
{
    RunContext run;
    report_start(run, "9.9", false);
    auto moved = [&run](size_t number) {
        report_image(run, {"floppy_insert", "f" + std::to_string(number), number, "", 0.0});
    };
    for (size_t number = 1; number <= REPORT_IMAGE_LIMIT; ++number)
        moved(number);
    json full = json::parse(render_run_report(run, 0, false));
    ASSERT_EQ(full["images"].size(), REPORT_IMAGE_LIMIT);
    EXPECT_EQ(full["images"].back()["file"], "f100");
    EXPECT_FALSE(full.contains("images_left_out"));

    moved(REPORT_IMAGE_LIMIT + 1);
    json over = json::parse(render_run_report(run, 0, false));
    ASSERT_EQ(over["images"].size(), REPORT_IMAGE_LIMIT);
    EXPECT_EQ(over["images"].back()["file"], "f100");
    EXPECT_EQ(over["images_left_out"], 1);
}

TEST(RunReport, SignalReportIsCompleteJson)
{
    RunContext run;
    report_start(run, "9.9", true);
    report_transport(run, ProcessorGeneration::stream);
    char out[2048];
    size_t length = render_signal_report(0, 15, 143, out, sizeof out);
    ASSERT_GT(length, 0u);
    json report = json::parse(std::string(out, length));
    EXPECT_EQ(report["exit_status"], 143);
    EXPECT_EQ(report["transport"], "stream");
    EXPECT_EQ(report["interrupted"], true);
    // Too small a buffer: nothing rather than a cut report.
    EXPECT_EQ(render_signal_report(0, 15, 143, out, 40), 0u);
}

// The signal report's duration: whole seconds, a point and three digits of
// milliseconds.
TEST(RunReport, SignalReportDurationInMilliseconds)
{
    RunContext run;
    report_start(run, "9.9", true);
    struct Case {
        long long milliseconds;
        const char* shown;
    } cases[] = {
        {0, "0.000"},
        {7, "0.007"},
        {1234, "1.234"},
        {60090, "60.090"},
    };
    for (const Case& c : cases) {
        char out[2048];
        size_t length = render_signal_report_after(0, c.milliseconds, 2, 130, out, sizeof out);
        std::string text(out, length);
        EXPECT_NE(text.find(std::string(",\"duration_seconds\":") + c.shown + ","), std::string::npos) << text;
    }
}

}  // namespace
