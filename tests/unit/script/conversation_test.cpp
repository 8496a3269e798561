// What the processor would receive in the live pass, and when the responses
// are read: each response check must come right after the last token of its
// command, before the next token is read (and sent).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/run_context.h"
#include "script_harness.h"

namespace {

// A piece of script and the events it must cause.
struct Step {
    std::string text;
    std::vector<std::string> events;
};

ScriptRun expect_conversation(const std::vector<Step>& steps, const ScriptRunOptions& options = {}, int result = 0)
{
    std::string script;
    std::vector<std::string> expected;
    for (const Step& step : steps) {
        script += step.text;
        expected.insert(expected.end(), step.events.begin(), step.events.end());
    }
    ScriptRun run = run_script(script, options);
    EXPECT_EQ(run.result, result) << run.output;
    EXPECT_EQ(run.events, expected) << run.output;
    return run;
}

const Step declaration = {"<?xml version=\"1.0\"?>\n", {"<?", "xml", "version", "=", "\"1.0\"", "?>", "check"}};
const Step root = {"<MOXCL VERSION=\"2.0\">\n", {"<", "MOXCL", "VERSION", "=", "\"2.0\"", ">", "check+"}};
const Step login = {"<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n",
                    {"<", "LOGIN", "USER_LOGIN", "=", "\"a\"", "PASSWORD", "=", "\"b\"", ">", "check"}};
const Step block = {"<BLOCK_A MODE=\"read\">\n", {"<", "BLOCK_A", "MODE", "=", "\"read\"", ">", "check"}};
const Step block_end = {"</BLOCK_A>\n", {"</", "BLOCK_A", ">", "write", "check", "check"}};
const Step login_end = {"</LOGIN>\n", {"</", "LOGIN", ">", "check"}};
const Step root_end = {"</MOXCL>\n", {"</", "MOXCL", ">"}};

TEST(Conversation, SimpleScript)
{
    expect_conversation({declaration, root, login, block,
                         {"<GET_ITEM_A/>\n", {"<", "GET_ITEM_A", "/>", "check+"}},
                         {"<SET_ITEM_A NAME_A=\"x\"/>\n", {"<", "SET_ITEM_A", "NAME_A", "=", "\"x\"", "/>", "check"}},
                         block_end, login_end, root_end});
}

TEST(Conversation, EveryKindOfCommand)
{
    const char* cert = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----";
    expect_conversation({
        declaration,
        {"<?VYO entity-processing=\"x\"?>\n", {"<?", "VYO", "entity", "-", "processing", "=", "\"x\"", "?>", "check"}},
        root, login, block,
        {"<UPDATE_MOX_FIRMWARE IMAGE_LENGTH=\"1\" IMAGE_LOCATION=\"fw.bin\"/>",
         {"<", "UPDATE_MOX_FIRMWARE", "IMAGE_LENGTH", "=", "\"1\"", "IMAGE_LOCATION", "=", "\"fw.bin\"", "/>",
          "firmware(fw.bin)", "check"}},
        {"<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION=\"in.img\"/>",
         {"<", "INSERT_VIRTUAL_FLOPPY", "IMAGE_LOCATION", "=", "\"in.img\"", "/>", "insert(in.img)", "check"}},
        {"<COPY_VIRTUAL_FLOPPY IMAGE_LOCATION=\"out.img\"/>",
         {"<", "COPY_VIRTUAL_FLOPPY", "IMAGE_LOCATION", "=", "\"out.img\"", "/>", "copy(out.img)", "check"}},
        {"<HOTKEY_CONFIG><CTRL_T VALUE=\"ALT,F1\"/><ctrl_u value=''/></HOTKEY_CONFIG>",
         {"<", "HOTKEY_CONFIG", ">", "<", "CTRL_T", "VALUE", "=", "\"ALT,F1\"", "/>", "<", "ctrl_u", "value", "=",
          "''", "/>", "</", "HOTKEY_CONFIG", ">", "check"}},
        {"<ADD_USER N=\"n\" L=\"l\" P=\"p\"><C/></ADD_USER>",
         {"<", "ADD_USER", "N", "=", "\"n\"", "L", "=", "\"l\"", "P", "=", "\"p\"", ">", "check", "<", "C", "/>",
          "check", "</", "ADD_USER", ">", "check"}},
        {std::string("<IMPORT_CERTIFICATE>") + cert + "</IMPORT_CERTIFICATE>",
         {"<", "IMPORT_CERTIFICATE", ">", cert, "</", "IMPORT_CERTIFICATE", ">", "check"}},
        {"<SET_SECURITY_MSG><SECURITY_MSG VALUE=\"y\"/>"
         "<SECURITY_MSG_TEXT><![CDATA[hello <b>]]></SECURITY_MSG_TEXT></SET_SECURITY_MSG>",
         {"<", "SET_SECURITY_MSG", ">", "check", "<", "SECURITY_MSG", "VALUE", "=", "\"y\"", "/>", "check", "<",
          "SECURITY_MSG_TEXT", ">", "</", "SECURITY_MSG_TEXT", ">", "check", "</", "SET_SECURITY_MSG", ">",
          "check"}},
        {std::string("<MOD_TWOFACTOR_SETTINGS><IMPORT_CA_CERTIFICATE>") + cert +
             "</IMPORT_CA_CERTIFICATE><IMPORT_USER_CERTIFICATE U=\"u\">" + cert +
             "</IMPORT_USER_CERTIFICATE><G/></MOD_TWOFACTOR_SETTINGS>",
         {"<", "MOD_TWOFACTOR_SETTINGS", ">", "<", "IMPORT_CA_CERTIFICATE", ">", cert, "</",
          "IMPORT_CA_CERTIFICATE", ">", "check", "<", "IMPORT_USER_CERTIFICATE", "U", "=", "\"u\"", ">", cert,
          "</", "IMPORT_USER_CERTIFICATE", ">", "check", "<", "G", "/>", "check", "</", "MOD_TWOFACTOR_SETTINGS",
          ">"}},
        {"<IMPORT_SSH_KEY>-----BEGIN SSH KEY-----k-----END SSH KEY-----</IMPORT_SSH_KEY>",
         {"<", "IMPORT_SSH_KEY", ">", "-----BEGIN SSH KEY-----k-----END SSH KEY-----", "</", "IMPORT_SSH_KEY", ">",
          "check"}},
        {"<MOD_DIR_CONFIG><DIR_KERBEROS_KEYTAB>-----BEGIN KEYTAB-----k-----END KEYTAB-----"
         "</DIR_KERBEROS_KEYTAB></MOD_DIR_CONFIG>",
         {"<", "MOD_DIR_CONFIG", ">", "<", "DIR_KERBEROS_KEYTAB", ">", "-----BEGIN KEYTAB-----k-----END KEYTAB-----",
          "</", "DIR_KERBEROS_KEYTAB", ">", "check", "</", "MOD_DIR_CONFIG", ">"}},
        {"<MOD_SNMP_QX_SETTINGS><SNMP_ADDRESS_2_TRAPCOMMUNITY VERSION=\"v1\" VALUE=\"p\"/></MOD_SNMP_QX_SETTINGS>",
         {"<", "MOD_SNMP_QX_SETTINGS", ">", "<", "SNMP_ADDRESS_2_TRAPCOMMUNITY", "VERSION", "=", "\"v1\"", "VALUE",
          "=", "\"p\"", "/>", "check", "</", "MOD_SNMP_QX_SETTINGS", ">"}},
        {"<BLOB_WRITE><BLOB_DATA>-----BEGIN BLOB-----b-----END BLOB-----</BLOB_DATA></BLOB_WRITE>",
         {"<", "BLOB_WRITE", ">", "<", "BLOB_DATA", ">", "-----BEGIN BLOB-----b-----END BLOB-----", "</",
          "BLOB_DATA", ">", "check", "</", "BLOB_WRITE", ">"}},
        {"<CMD VALUE=\"v\" A=\"1\"><C1/><C2 X=\"1\"/></CMD_END>",
         {"<", "CMD", "VALUE", "=", "\"v\"", "A", "=", "\"1\"", ">", "check", "<", "C1", "/>", "check", "<", "C2",
          "X", "=", "\"1\"", "/>", "check", "</", "CMD_END", ">", "check"}},
        {"<X=\"1\"/>", {"<", "X", "=", "\"1\"", "/>", "check"}},
        block_end, login_end, root_end,
    });
}

// Each attribute the command line gives takes the place of the script's:
// nothing of the script's attribute goes out, the other one goes out as
// written (the password alone keeps the script's user name, and the user
// name alone the script's password). The overriding password is measured
// instead of the script's (49 characters would be too long).
TEST(Conversation, LoginOverrideHoldsBackTheAttributesItReplaces)
{
    const std::string long_password(60, 'p');
    const std::string login_line = "<LOGIN USER_LOGIN=\"a\" PASSWORD=\"" + std::string(49, 's') + "\">\n";
    struct Override {
        const char* user;
        const char* password;
        std::vector<std::string> events;
    };
    for (const Override& given :
         {Override{"u", "pw", {"<", "LOGIN", "user-override", "password-override", "check"}},
          Override{"", "pw", {"<", "LOGIN", "USER_LOGIN", "=", "\"a\"", "password-override", "check"}},
          Override{"u", long_password.c_str(), {"<", "LOGIN", "user-override", "password-override", "check"}}}) {
        SCOPED_TRACE(std::string("user ") + given.user + ", password " + given.password);
        ScriptRunOptions options;
        options.override_user_name = given.user;
        options.override_password = given.password;
        expect_conversation({root, {login_line, given.events}, block, block_end, login_end, root_end}, options);
    }
    ScriptRunOptions user_only;
    user_only.override_user_name = "u";
    expect_conversation({root,
                         {"<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n",
                          {"<", "LOGIN", "user-override", "PASSWORD", "=", "\"b\"", ">", "check"}},
                         block, block_end, login_end, root_end},
                        user_only);
}

TEST(Conversation, LoginOverrideRestoresTheCheckingPass)
{
    ScriptRunOptions options;
    options.override_user_name = "u";
    options.override_password = "pw";
    options.live_pass = false;
    ScriptRun run = run_script("<MOXCL VERSION=\"2\"><LOGIN U=\"a\" P=\"b\"></LOGIN></MOXCL>", options);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.events, (std::vector<std::string>{"check+", "user-override", "password-override", "check", "check"}));
}

// The one action that needs a lookahead: the "/>" is read (and sent) before
// the report, then dropped, so the closing tag after it is out of place.
TEST(Conversation, MissingBooleanDropsTheTokenAfterIt)
{
    expect_conversation({root, login, block,
                         {"<SET_SECURITY_MSG>\n<SECURITY_MSG/>\n</SET_SECURITY_MSG>",
                          {"<", "SET_SECURITY_MSG", ">", "check", "<", "SECURITY_MSG", "/>", "check", "</"}}},
                        {}, 1);
}

TEST(Conversation, FailedImageCommandStopsTheParse)
{
    ScriptRunOptions options;
    options.image_result = 1;
    for (const char* command : {"UPDATE_MOX_FIRMWARE", "INSERT_VIRTUAL_FLOPPY", "COPY_VIRTUAL_FLOPPY"}) {
        const std::string location(255, 'L');
        std::string kind = command[0] == 'U' ? "firmware" : command[0] == 'I' ? "insert" : "copy";
        ScriptRun run = expect_conversation(
            {root, login, block,
             {std::string("<") + command + " IMAGE_LOCATION=\"" + location + "\"/>\n</BLOCK_A>",
              {"<", command, "IMAGE_LOCATION", "=", "\"" + location + "\"", "/>", kind + "(" + location + ")"}}},
            options, 1);
        // The command's image location is used up, success or not.
        EXPECT_EQ(run.image_location, "");
    }
}

// A path longer than the field is never cut to another file's name: the
// value check stops the parse before the command's image is touched.
TEST(Conversation, ImageLocationLongerThanItsFieldStopsTheParse)
{
    for (const char* command : {"UPDATE_MOX_FIRMWARE", "INSERT_VIRTUAL_FLOPPY", "COPY_VIRTUAL_FLOPPY"}) {
        const std::string location(256, 'L');
        expect_conversation({root, login, block,
                             {std::string("<") + command + " IMAGE_LOCATION=\"" + location + "\"/>\n</BLOCK_A>",
                              {"<", command, "IMAGE_LOCATION", "=", "\"" + location + "\"", "check"}}},
                            {}, 1);
    }
}

}  // namespace
