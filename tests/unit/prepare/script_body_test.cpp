// The HTTP-mode script body: LOGIN rewrite, firmware element, boundary, and
// the agreement of the measuring and the sending pass.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "records/run_context.h"
#include "prepare/login_rewrite.h"
#include "prepare/multipart_boundary.h"
#include "prepare/script_body_pass.h"

namespace {

struct LoginCase {
    const char* name;
    const char* line;
    const char* user;
    const char* password;
    LoginRewrite result;
    const char* rewritten;
};

class LoginLine : public testing::TestWithParam<LoginCase> {};

TEST_P(LoginLine, IsRebuiltWithTheOverrides)
{
    const LoginCase& c = GetParam();
    std::string rewritten = "untouched";
    EXPECT_EQ(rewrite_login_line(c.line, c.user, c.password, rewritten), c.result);
    if (c.result == LoginRewrite::rewritten) {
        EXPECT_EQ(rewritten, c.rewritten);
    }
}

constexpr const char* LOGIN = "  <LOGIN USER_LOGIN=\"admin\" PASSWORD=\"secret\"> <!-- x -->";

INSTANTIATE_TEST_SUITE_P(
    Forms, LoginLine,
    testing::Values(
        LoginCase{"user_only", LOGIN, "bob", "", LoginRewrite::rewritten,
                  "  <LOGIN USER_LOGIN=\"bob\" PASSWORD=\"secret\"> <!-- x -->"},
        LoginCase{"password_only", LOGIN, "", "pw", LoginRewrite::rewritten,
                  "  <LOGIN USER_LOGIN=\"admin\"  PASSWORD=\"pw\"> <!-- x -->"},
        LoginCase{"both", LOGIN, "bob", "pw", LoginRewrite::rewritten,
                  "  <LOGIN USER_LOGIN=\"bob\"  PASSWORD=\"pw\"> <!-- x -->"},
        LoginCase{"no_override", LOGIN, "", "", LoginRewrite::not_applicable, ""},
        // Values go in as attribute text: nothing of them becomes markup.
        LoginCase{"markup_in_values", LOGIN, "o'n & \"co\"", "a\"><X/>\t\r\n", LoginRewrite::rewritten,
                  "  <LOGIN USER_LOGIN=\"o&apos;n &amp; &quot;co&quot;\"  "
                  "PASSWORD=\"a&quot;&gt;&lt;X/&gt;&#9;&#13;&#10;\"> <!-- x -->"},
        LoginCase{"tab_after_login", "<LOGIN\tUSER_LOGIN=\"a\" PASSWORD=\"b\">", "bob", "pw",
                  LoginRewrite::rewritten, "<LOGIN USER_LOGIN=\"bob\"  PASSWORD=\"pw\">"},
        LoginCase{"tab_after_login_password_only", "<LOGIN\tUSER_LOGIN=\"a\" PASSWORD=\"b\">", "", "pw",
                  LoginRewrite::rewritten, "<LOGIN\tUSER_LOGIN=\"a\"  PASSWORD=\"pw\">"},
        LoginCase{"line_ends_after_login", "<MOXCL><LOGIN", "bob", "pw", LoginRewrite::no_password, ""},
        // PASSWORD inside a value, or a '>' inside one, belongs to the value.
        LoginCase{"password_inside_user_name", "<LOGIN USER_LOGIN=\"xPASSWORD\" PASSWORD=\"s\">", "bob", "",
                  LoginRewrite::rewritten, "<LOGIN USER_LOGIN=\"bob\" PASSWORD=\"s\">"},
        LoginCase{"tag_end_inside_password", "<LOGIN USER_LOGIN=\"a\" PASSWORD='s>t'> <!-- x -->", "", "pw",
                  LoginRewrite::rewritten, "<LOGIN USER_LOGIN=\"a\"  PASSWORD=\"pw\"> <!-- x -->"},
        LoginCase{"password_of_another_element", "<LOGIN USER_LOGIN=\"a\"> <X PASSWORD=\"b\">", "bob", "pw",
                  LoginRewrite::no_password, ""},
        LoginCase{"longer_name_is_not_login", "<LOGINS USER_LOGIN=\"a\" PASSWORD=\"b\">", "bob", "pw",
                  LoginRewrite::not_applicable, ""},
        LoginCase{"login_after_longer_name", "<LOGINS/><LOGIN\tPASSWORD=\"b\">", "bob", "",
                  LoginRewrite::rewritten, "<LOGINS/><LOGIN USER_LOGIN=\"bob\" PASSWORD=\"b\">"},
        LoginCase{"no_password_user", "<LOGIN USER_LOGIN=\"admin\">", "bob", "", LoginRewrite::no_password, ""},
        LoginCase{"no_password_both", "<LOGIN USER_LOGIN=\"admin\"", "bob", "pw", LoginRewrite::no_password, ""},
        LoginCase{"no_tag_end", "<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\"", "", "pw", LoginRewrite::no_tag_end, ""},
        LoginCase{"no_tag_end_user_only", "<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\"", "bob", "", LoginRewrite::rewritten,
                  "<LOGIN USER_LOGIN=\"bob\" PASSWORD=\"b\""}),
    [](const testing::TestParamInfo<LoginCase>& info) { return std::string(info.param.name); });

// An attribute name is letters, digits, '_' and '-': PASSWORD with one of
// these right before or after it (DATAPASSWORD=, _PASSWORD, 9PASSWORD,
// PASSWORD_2) is another attribute and keeps its value; with any other
// character there, even the one next to such a class, it is the password.
TEST(LoginLine, LookAlikeNamesAtEveryCharacterClassBoundary)
{
    for (char c : std::string("AZaz09_-")) {
        SCOPED_TRACE(std::string("name character ") + c);
        const std::string look_alikes = "<LOGIN USER_LOGIN=\"a\" " + std::string(1, c) + "PASSWORD=\"x\" PASSWORD" + c +
                                        "=\"y\" DATAPASSWORD=\"z\"";
        std::string rewritten;
        EXPECT_EQ(rewrite_login_line(look_alikes + " PASSWORD=\"b\">", "", "pw", rewritten), LoginRewrite::rewritten);
        EXPECT_EQ(rewritten, look_alikes + "  PASSWORD=\"pw\">");
    }
    for (char c : std::string("@[`{/:,.^")) {
        SCOPED_TRACE(std::string("other character ") + c);
        std::string rewritten;
        EXPECT_EQ(rewrite_login_line("<LOGIN USER_LOGIN=\"a\" " + std::string(1, c) + "PASSWORD=\"b\">", "", "pw", rewritten),
                  LoginRewrite::rewritten);
        EXPECT_EQ(rewritten, "<LOGIN USER_LOGIN=\"a\" " + std::string(1, c) + " PASSWORD=\"pw\">");
        EXPECT_EQ(rewrite_login_line("<LOGIN USER_LOGIN=\"a\" PASSWORD" + std::string(1, c) + "\"b\">", "", "pw", rewritten),
                  LoginRewrite::rewritten);
        EXPECT_EQ(rewritten, "<LOGIN USER_LOGIN=\"a\"  PASSWORD=\"pw\">");
    }
}

// Sends captured by the sending pass.
std::string wire;
std::string traces;

LinkResult capture(const RunContext& run, const char* text, const char* trace_text)
{
    if (run.state.run_status != 0)
        return LinkResult::skipped;
    wire += text;
    traces += trace_text == nullptr ? text : trace_text;
    return LinkResult::ok;
}

int next_number = 0;
int counting_random() { return next_number++; }

class ScriptBody : public testing::Test {
protected:
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("quorvex-body-" + std::to_string(::getpid()));

    void SetUp() override
    {
        std::filesystem::create_directories(folder);
        plan = BodyPlan{};
        wire.clear();
        traces.clear();
    }
    void TearDown() override
    {
        if (run.state.script_input != nullptr)
            std::fclose(run.state.script_input);
        run.state.script_input = nullptr;
        std::filesystem::remove_all(folder);
    }
    std::string write(const std::string& name, const std::string& content)
    {
        std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    // The measuring pass, then the sending pass of the same plan; length
    // gets what each counted.
    BodyPass measure(int32_t& length)
    {
        BodyPass result = script_body_pass_through(run, false, plan, sender());
        length = plan.length;
        return result;
    }
    BodyPass send(int32_t& length)
    {
        BodyPass result = script_body_pass_through(run, true, plan, sender());
        length = plan.sent;
        return result;
    }
    BodyPlan plan;
    RunContext run;

    BodySender sender()
    {
        return [this](const char* text, const char* trace_text) { return capture(run, text, trace_text); };
    }

    void open_script(const std::string& content)
    {
        run.state.script_input = std::fopen(write("script.xml", content).c_str(), "rb");
        ASSERT_NE(run.state.script_input, nullptr);
    }
};

TEST_F(ScriptBody, MeasuredLengthIsTheBytesSent)
{
    std::string image = write("fw.bin", std::string(5000, 'F'));
    std::string long_line(3000, 'L');
    open_script("<MOXCL>\r\n  <LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n" + long_line +
                "\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image + "\"/> <!-- kept -->\r\n</MOXCL>");
    run.settings.password = "topsecret";
    int32_t measured = -1;
    ASSERT_EQ(measure(measured), BodyPass::done);
    EXPECT_TRUE(wire.empty());
    int32_t sent = -1;
    ASSERT_EQ(send(sent), BodyPass::done);
    EXPECT_EQ(static_cast<size_t>(measured), wire.size());
    EXPECT_EQ(sent, measured);

    std::string element = "\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image + "\" IMAGE_LENGTH=\"5000\"/>\r\n";
    EXPECT_EQ(wire, "<MOXCL>\r\n  <LOGIN USER_LOGIN=\"a\"  PASSWORD=\"topsecret\">\r\n" + long_line + "\r\n" +
                        element + " <!-- kept -->\r\n</MOXCL>\r\n");
    EXPECT_EQ(traces.find("topsecret"), std::string::npos);
    EXPECT_NE(traces.find("PASSWORD=\"********\">\r\n"), std::string::npos);
    EXPECT_TRUE(plan.firmware.firmware_update_present);
    EXPECT_EQ(plan.firmware.firmware_image_path, image);
    EXPECT_EQ(plan.firmware.firmware_image_length, 5000);
    EXPECT_EQ(plan.firmware.multipart_boundary.rfind("------zqVyo3t", 0), 0u);
}

TEST_F(ScriptBody, SendingPassStatesTheMeasuredImage)
{
    std::string image = write("fw.bin", std::string(99, 'F'));
    open_script("<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image + "\"/>\n");
    int32_t measured = 0;
    ASSERT_EQ(measure(measured), BodyPass::done);
    write("fw.bin", std::string(100, 'F'));
    int32_t sent = 0;
    ASSERT_EQ(send(sent), BodyPass::done);
    EXPECT_EQ(static_cast<size_t>(measured), wire.size());
    EXPECT_NE(wire.find("IMAGE_LENGTH=\"99\""), std::string::npos);
}

TEST_F(ScriptBody, RejectsWhatItCannotSendFaithfully)
{
    struct Case {
        std::string script;
        const char* user;
        const char* password;
        const char* says;
    } cases[] = {
        {"<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"fw.BIN\"/>\n", "", "", "ERROR: Firmware image \"fw.BIN\" is not a \".bin\" file"},
        {"<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"fw.bin/>\n", "", "", "ERROR: Firmware image location \"fw.bin/> has no closing quote"},
        {"<MOXCL>\n<LOGIN USER_LOGIN=\"a\">\n", "bob", "", "ERROR: The LOGIN element on line 2 has no PASSWORD"},
        {"<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\"\n/>\n", "", "pw", "ERROR: The LOGIN element on line 1 does not end"},
        {"<MOXCL>\n<LOGIN\n USER_LOGIN=\"a\" PASSWORD=\"b\">\n", "bob", "pw", "ERROR: The LOGIN element on line 2 has no PASSWORD"},
        {std::string(3000, 'x') + "\n<LOGIN\tUSER_LOGIN=\"a\">\n", "bob", "", "ERROR: The LOGIN element on line 2 has no PASSWORD"},
        {"<UPDATE_MOX_FIRMWARE image_location = 'fw.BIN'/>\n", "", "", "ERROR: Firmware image \"fw.BIN\" is not a \".bin\" file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        SetUp();
        open_script(c.script);
        run.settings.user_name = c.user;
        run.settings.password = c.password;
        int32_t length = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(measure(length), BodyPass::rejected);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.rfind(c.says, 0), 0u) << out;
        EXPECT_EQ(run.state.run_status, 1);
        EXPECT_TRUE(wire.empty());
        std::fclose(run.state.script_input);
        run.state.script_input = nullptr;
    }
}

TEST_F(ScriptBody, UnopenableImageLeavesRunStatus)
{
    open_script("<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + (folder / "missing.bin").string() + "\"/>\n");
    int32_t length = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(measure(length), BodyPass::image_unopened);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open the firmware image update file\r\n");
    EXPECT_EQ(run.state.run_status, 0);
    EXPECT_TRUE(plan.firmware.firmware_update_present);
}

// A pipe would keep the run waiting at its open, a character device would
// give no length or no end: neither is measured or sent.
TEST_F(ScriptBody, ImageThatIsNoRegularFileFailsTheRun)
{
    std::filesystem::path pipe = folder / "pipe.bin";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::path zero = folder / "zero.bin";
    std::filesystem::create_symlink("/dev/zero", zero);
    for (const std::filesystem::path& image : {pipe, zero}) {
        run.state.run_status = 0;
        open_script("<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image.string() + "\"/>\n");
        int32_t length = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(measure(length), BodyPass::rejected) << image;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "The firmware image file is not a regular file\r\n");
        EXPECT_EQ(run.state.run_status, 1);
        std::fclose(run.state.script_input);
        run.state.script_input = nullptr;
    }
}

TEST_F(ScriptBody, FirmwareNameWithoutLocationIsSentAndNoted)
{
    open_script("<UPDATE_MOX_FIRMWARE\n IMAGE_LOCATION=\"x.bin\"/>\n");
    int32_t measured = 0;
    ASSERT_EQ(measure(measured), BodyPass::done);
    ASSERT_EQ(send(measured), BodyPass::done);
    EXPECT_EQ(wire, "<UPDATE_MOX_FIRMWARE\r\n IMAGE_LOCATION=\"x.bin\"/>\r\n");
    EXPECT_EQ(static_cast<size_t>(measured), wire.size());
    EXPECT_TRUE(plan.firmware.firmware_update_present);
    EXPECT_EQ(plan.firmware.firmware_image_path, "");
}

// Every line of the script goes out whole with the element in place of the
// script's firmware element, and the measured length counts every byte.
TEST_F(ScriptBody, FirmwareLineKeepsItsOtherText)
{
    std::string image = write("fw.bin", std::string(7, 'F'));
    const std::string element = "\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image + "\" IMAGE_LENGTH=\"7\"/>\r\n";
    const std::string at = "\"" + image + "\"";
    const std::string quoted = "'" + image + "'";
    struct Case {
        std::string line;
        std::string sent;
    } cases[] = {
        // A line holding only the element: the generated element alone.
        {"<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/>", element},
        {"\t  <UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/>  ", element},
        {"<UPDATE_MOX_FIRMWARE IMAGE_LENGTH=\"1\" IMAGE_LOCATION=" + at + "/>", element},
        // Other spellings the script checker takes.
        {"<UPDATE_MOX_FIRMWARE IMAGE_LOCATION = " + at + "/>", element},
        {"<UPDATE_MOX_FIRMWARE image_location\t=\t" + quoted + "/>", element},
        {"< UPDATE_MOX_FIRMWARE Image_Location=" + quoted + " />", element},
        // Text before and after the element stays.
        {"<MOX_SETTINGS MODE=\"write\"><UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/>",
         "<MOX_SETTINGS MODE=\"write\">" + element},
        {"  <UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/></MOX_SETTINGS>", element + "</MOX_SETTINGS>\r\n"},
        {"<A><UPDATE_MOX_FIRMWARE IMAGE_LOCATION = " + at + "/><!-- c --> ", "<A>" + element + "<!-- c --> \r\n"},
        {"<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION=\"a.img\"/><UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/>",
         "<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION=\"a.img\"/>" + element},
        {std::string(3000, ' ') + "<A>" + std::string(3000, ' ') + "<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/>",
         std::string(3000, ' ') + "<A>" + std::string(3000, ' ') + element},
        // A firmware element commented out before the real one is text.
        {"<!-- UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"old.bin\" --> <UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at + "/>",
         "<!-- UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"old.bin\" --> " + element},
        // An element that does not end on its line takes the whole line's place.
        {"<A><UPDATE_MOX_FIRMWARE IMAGE_LOCATION=" + at, element},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SetUp();
        write("fw.bin", std::string(7, 'F'));
        open_script("<MOXCL>\n" + c.line + "\n</MOXCL>\n");
        int32_t measured = 0;
        ASSERT_EQ(measure(measured), BodyPass::done);
        int32_t sent = 0;
        ASSERT_EQ(send(sent), BodyPass::done);
        EXPECT_EQ(wire, "<MOXCL>\r\n" + c.sent + "</MOXCL>\r\n");
        EXPECT_EQ(static_cast<size_t>(measured), wire.size());
        EXPECT_EQ(plan.firmware.firmware_image_path, image);
        std::fclose(run.state.script_input);
        run.state.script_input = nullptr;
    }
}

// A firmware element inside a comment is no firmware update: its line goes
// out as written, whatever it names, and no upload follows.
TEST_F(ScriptBody, CommentedOutFirmwareGoesOutAsWritten)
{
    write("old.bin", "OLD");
    const std::string old_image = (folder / "old.bin").string();
    const std::string scripts[] = {
        "<MOXCL>\n<!-- UPDATE_MOX_FIRMWARE IMAGE_LOCATION=old.bin -->\n</MOXCL>\n",
        "<MOXCL>\n  <!-- <UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + old_image + "\"/> -->\n</MOXCL>\n",
        "<MOXCL><!--\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + old_image + "\"/>\n--><X/>\n</MOXCL>\n",
        "<!-- a --><!-- b\n UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + old_image + "\" -->\n",
    };
    for (const std::string& script : scripts) {
        SCOPED_TRACE(script);
        SetUp();
        open_script(script);
        int32_t measured = 0;
        ASSERT_EQ(measure(measured), BodyPass::done);
        int32_t sent = 0;
        ASSERT_EQ(send(sent), BodyPass::done);
        std::string expected = script;
        for (size_t at = expected.find('\n'); at != std::string::npos; at = expected.find('\n', at + 2))
            expected.insert(at, "\r");
        EXPECT_EQ(wire, expected);
        EXPECT_EQ(static_cast<size_t>(measured), wire.size());
        EXPECT_FALSE(plan.firmware.firmware_update_present);
        EXPECT_EQ(plan.firmware.firmware_image_path, "");
        std::fclose(run.state.script_input);
        run.state.script_input = nullptr;
    }
}

TEST_F(ScriptBody, LongLoginLineIsRewrittenWhole)
{
    std::string padding(5000, ' ');
    open_script("<MOXCL>\n<LOGIN" + padding + "USER_LOGIN=\"a\"" + padding + "PASSWORD=\"b\"" + padding + "> <X/>\n");
    run.settings.user_name = "bob";
    run.settings.password = "pw";
    int32_t measured = 0;
    ASSERT_EQ(measure(measured), BodyPass::done);
    ASSERT_EQ(send(measured), BodyPass::done);
    EXPECT_EQ(wire, "<MOXCL>\r\n<LOGIN USER_LOGIN=\"bob\"  PASSWORD=\"pw\"> <X/>\r\n");
    EXPECT_EQ(static_cast<size_t>(measured), wire.size());
    EXPECT_EQ(traces, "<MOXCL>\r\n<LOGIN USER_LOGIN=\"bob\"  PASSWORD=\"********\"> <X/>\r\n");
}

TEST_F(ScriptBody, PasswordOnAFirmwareLineIsMaskedInTheTrace)
{
    std::string image = write("fw.bin", "F");
    open_script("<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\"><UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image + "\"/>\n");
    run.settings.password = "topsecret";
    int32_t measured = 0;
    ASSERT_EQ(measure(measured), BodyPass::done);
    ASSERT_EQ(send(measured), BodyPass::done);
    const std::string element = "\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"" + image + "\" IMAGE_LENGTH=\"1\"/>\r\n";
    EXPECT_EQ(wire, "<LOGIN USER_LOGIN=\"a\"  PASSWORD=\"topsecret\">" + element);
    EXPECT_EQ(traces, "<LOGIN USER_LOGIN=\"a\"  PASSWORD=\"********\">" + element);
}

TEST_F(ScriptBody, SendingPassAfterFailureSendsNothing)
{
    open_script("<MOXCL>\n");
    run.state.run_status = 6;
    int32_t length = 0;
    EXPECT_EQ(send(length), BodyPass::skipped);
    EXPECT_TRUE(wire.empty());
}

TEST_F(ScriptBody, BoundaryGrowsWhileTheImageHoldsIt)
{
    // Chunk 0 holds the first boundary, chunk 1 the lengthened one, and the
    // twice lengthened one straddles chunks 2 and 3, where it is not seen.
    std::string image(4 * BOUNDARY_SEARCH_CHUNK, '\0');
    image.replace(100, 15, "------zqVyo3t0z");
    image.replace(BOUNDARY_SEARCH_CHUNK + 7, 17, "------zqVyo3t0z1z");
    image.replace(3 * BOUNDARY_SEARCH_CHUNK - 5, 19, "------zqVyo3t0z1z2z");
    FILE* file = std::fopen(write("img.bin", image).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    next_number = 0;
    run.settings.verbose = true;
    testing::internal::CaptureStdout();
    std::string boundary = make_multipart_boundary(run, file, counting_random);
    std::string out = testing::internal::GetCapturedStdout();
    run.settings.verbose = false;
    std::fclose(file);
    EXPECT_EQ(boundary, "------zqVyo3t0z1z2z");
    EXPECT_EQ(out, "Boundary = ------zqVyo3t0z1z\nBoundary = ------zqVyo3t0z1z2z\nBoundary is ------zqVyo3t0z1z2z\n");
}

}  // namespace
