// Which scripts the grammar accepts, and the reports for those it rejects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script_harness.h"

namespace {

struct ParseCase {
    std::string script;
    int result;
    std::vector<std::string> reports;
};

void expect_parses(const std::vector<ParseCase>& cases)
{
    for (const ParseCase& c : cases) {
        ScriptRun run = run_script(c.script);
        EXPECT_EQ(run.result, c.result) << c.script << "\n" << run.output;
        EXPECT_EQ(error_reports(run.output), c.reports) << c.script;
    }
}

// A script whose command block (line 2) holds the given text from line 3 on.
std::string in_block(const std::string& commands)
{
    return "<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\">\n<BLOCK_A MODE=\"read\">\n" + commands +
           "\n</BLOCK_A>\n</LOGIN>\n</MOXCL>\n";
}

std::string syntax_error(int line, const std::string& near, const std::string& line_text)
{
    return "1 - Syntax error: Line #" + std::to_string(line) + ": syntax error near \"" + near + "\" in the line: \"" +
           line_text + "\"";
}

std::string value_error(int line, const std::string& message)
{
    return "Parse error: Line #" + std::to_string(line) + ": " + message;
}

TEST(Parser, AcceptedShapes)
{
    expect_parses({
        {"<MOXCL VERSION=\"2.0\"></MOXCL>", 0, {}},
        {"<?xml version=\"1.0\"?><MOXCL VERSION=\"2\"><LOGIN A=\"a\" B=\"\"></LOGIN>"
         "<login c='c' d='d'></login></MOXCL>\n<!-- after the end -->\n",
         0, {}},
        {in_block("<X></Y>\n<X/>\n< X\nA=\"1\" B=\"2\" C=\"3\" D=\"4\"/>\n<V VALUE=\"1\" A=\"1\" B=\"2\" C=\"3\"/>\n"
                  "<W A=\"1\" B=\"2\" VALUE=\"3\"/>\n<U VALUE=\"1\"/>"),
         0, {}},
        {"<MOXCL VERSION=\"2.0\"><LOGIN A=\"a\" B=\"b\"><A MODE=\"read\"></B></LOGIN></MOXCL>", 0, {}},
        {in_block("<IMPORT_CERTIFICATE><![CDATA[-----BEGIN CERTIFICATE-----\nAB\n-----END CERTIFICATE-----]]>"
                  "</IMPORT_CERTIFICATE>"),
         0, {}},
    });
}

TEST(Parser, SyntaxErrorsNameTheLastTokenAndTheLine)
{
    std::string certificate = "-----BEGIN CERTIFICATE-----\n";
    for (int i = 0; i < 19; ++i)
        certificate += "MIIBszCCARygAwIBAgIJAK\n";
    certificate += "-----END CERTIFICATE-----";
    expect_parses({
        {"<MOXCL VERSION=\"2.0\">\n<LOGIN>\n", 1, {syntax_error(1, ">", "<LOGIN>")}},
        {"<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\">\n", 1, {syntax_error(1, ">", "<LOGIN USER_LOGIN=\"a\">")}},
        {"<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\" PASSWORD=\"b\"/>", 1,
         // A secret quoted from the script shows masked.
         {syntax_error(1, "/>", "<LOGIN USER_LOGIN=\"a\" PASSWORD=\"********\"/>")}},
        {"<MOXCL VERSION=\"2.0\">\n<LOGIN U=\"a\" P=\"b\">\n<GET_ITEM_A/>", 1, {syntax_error(2, "/>", "<GET_ITEM_A/>")}},
        {"<MOXCL VERSION=\"2.0\">\n<LOGIN U=\"a\" P=\"b\">\n \t <BLOCK_A>\t \n", 1, {syntax_error(2, ">", "<BLOCK_A>")}},
        {in_block("<X A=\"1\" VALUE=\"2\"/>"), 1, {syntax_error(3, "VALUE", "<X A=\"1\" VALUE=\"2\"/>")}},
        {in_block("<X VALUE=\"1\" A=\"1\" B=\"2\"/>"), 1, {syntax_error(3, "/>", "<X VALUE=\"1\" A=\"1\" B=\"2\"/>")}},
        {in_block("<X A=\"1\" B=\"2\" C=\"3\" D=\"4\" E=\"5\"/>"), 1,
         {syntax_error(3, "E", "<X A=\"1\" B=\"2\" C=\"3\" D=\"4\" E=\"5\"/>")}},
        {in_block("<X=\"1\" A=\"2\"/>"), 1, {syntax_error(3, "A", "<X=\"1\" A=\"2\"/>")}},
        {in_block("<X><C></C></X>"), 1, {syntax_error(3, ">", "<X><C></C></X>")}},
        {in_block("<ADD_USER A=\"1\" B=\"2\"></ADD_USER>"), 1,
         {syntax_error(3, ">", "<ADD_USER A=\"1\" B=\"2\"></ADD_USER>")}},
        {in_block("<ADD_USER A=\"1\" B=\"2\" C=\"3\"/>"), 1, {syntax_error(3, "/>", "<ADD_USER A=\"1\" B=\"2\" C=\"3\"/>")}},
        {in_block("<IMPORT_CERTIFICATE></IMPORT_CERTIFICATE>"), 1,
         {syntax_error(3, "</", "<IMPORT_CERTIFICATE></IMPORT_CERTIFICATE>")}},
        {in_block("<MODE/>"), 1, {syntax_error(3, "MODE", "<MODE/>")}},
        {in_block("<X a-b=\"1\"/>"), 1, {syntax_error(3, "-", "<X a-b=\"1\"/>")}},
        // Stray characters are never recorded: the report names the token before.
        {in_block("<X A=\"1\"!/>"), 1, {syntax_error(3, "\"1\"", "<X A=\"1\"!/>")}},
        {in_block("<X A=\"1/>"), 1, {syntax_error(3, "=", "<X A=\"1/>")}},
        {"<?VYO entity-processing=\"x\"?>\n<MOXCL VERSION=\"2\"></MOXCL>", 1, {syntax_error(0, "VYO", "")}},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 1, {syntax_error(0, "encoding", "")}},
        {"<XMLDOC>", 1, {syntax_error(0, "XMLDOC", "")}},
        {"<MOXCL VERSION=\"2.0\">\n</MOXCL>\njunk\n", 1, {syntax_error(2, "junk", "junk")}},
        {"<MOXCL VERSION=\"2.0\">\n</MOXCL>\n<![CDATA[x]]>", 1, {syntax_error(2, ">", "<![CDATA[x]]>")}},
        {"<MOXCL VERSION=\"2.0\">\n<LOGIN U=\"a\" P=\"b\">\n", 1, {syntax_error(2, ">", "")}},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>\n", 1, {syntax_error(0, "", "")}},
        {"<!-- one\ntwo\nthree -->\n<MOXCL VERSION=\"2.0\">\n<LOGIN>", 1, {syntax_error(4, ">", "<LOGIN>")}},
        {in_block("<IMPORT_CERTIFICATE>\n" + certificate + "\n</IMPORT_CERTIFICATE>\n<X A=\"1\" VALUE=\"2\"/>"), 1,
         {syntax_error(26, "VALUE", "<X A=\"1\" VALUE=\"2\"/>")}},
    });
}

// A secret is masked in the quoted line whatever the layout of the lines:
// its value read on that line after its name on another one, a value still
// to come (the error fell between the name and the value), a value in
// single quotes, a trap community's VALUE, a value whose quote is never
// closed, and a line holding a secret that was read and one still to come.
TEST(Parser, SecretsInTheQuotedLineAreMaskedWhateverTheLayout)
{
    const std::string login = "<MOXCL VERSION=\"2.0\">\n<LOGIN USER_LOGIN=\"a\"\n PASSWORD =\n";
    expect_parses({
        {login + "  \"s1 x\" !>", 1, {syntax_error(3, "********", "\"********\" !>")}},
        {login + "! \"s1 x\">", 1, {syntax_error(3, "=", "! \"********\">")}},
        {login + "\"s1 x !>", 1, {syntax_error(3, "=", "\"********")}},
        {in_block("<ADD_USER USER_NAME=\"e\" PASSWORD=\n'n1' !/>"), 1, {syntax_error(4, "********", "'********' !/>")}},
        {in_block("<MOD_SNMP_QX_SETTINGS>\n<SNMP_ADDRESS_1_TRAPCOMMUNITY VERSION=\"v2c\"\nVALUE\n=\n\"c1\" !/>"), 1,
         {syntax_error(7, "********", "\"********\" !/>")}},
        // (The '!' after a secret's name is taken for its value too.)
        {in_block("<X NEW_PASSWORD=\"p1\"\n/><ADD_USER A=\"n\" B_PASSWORD=\n\"p2\"  C_PASSWORD= ! \"p3\"/>"), 1,
         {syntax_error(5, "=", "\"********\"  C_PASSWORD= ******** \"********\"/>")}},
    });
}

TEST(Parser, ValueErrorsAndWhetherTheParseGoesOn)
{
    const std::string name48(48, 'u');
    expect_parses({
        {"<MOXCL VERSION=\"abc\"></MOXCL>", 1, {value_error(0, "Invalid Number")}},
        {"<?xml version=\"\"?>", 1, {value_error(0, "Invalid Number")}},
        {"<MOXCL VERSION=\"2\"></MOXCL>", 0, {}},
        {in_block("<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"f\" IMAGE_LENGTH=\"12abc\"/>"), 0, {}},
        {in_block("<UPDATE_MOX_FIRMWARE IMAGE_LENGTH=\"abc\" IMAGE_LOCATION=\"f\"/>"), 1, {value_error(3, "Invalid Integer")}},
        {"<MOXCL VERSION=\"2\">\n<LOGIN U=\"a\" P=\"b\">\n<B MODE=\"reading\">", 1, {value_error(2, "Invalid Mode")}},
        {in_block("<SET_SECURITY_MSG>\n<SECURITY_MSG VALUE=\"ya\"/>\n<SECURITY_MSG VALUE=\"falsee\"/>\n"
                  "<SECURITY_MSG VALUE=\"False\"/>\n</SET_SECURITY_MSG>"),
         0, {value_error(4, "Invalid Boolean"), value_error(5, "Invalid Boolean"), value_error(5, "Invalid Boolean")}},
        {in_block("<SET_SECURITY_MSG>\n<SECURITY_MSG/>\n</SET_SECURITY_MSG>"), 1,
         {value_error(4, "Boolean value not specified."), syntax_error(5, "</", "</SET_SECURITY_MSG>")}},
        {"<MOXCL VERSION=\"2\"><LOGIN U=\"" + name48 + "\" P=\"" + name48 + "\"></LOGIN></MOXCL>", 0, {}},
        {"<MOXCL VERSION=\"2\"><LOGIN U=\"" + name48 + "u\" P=\"p\">", 1,
         {value_error(0, "User login name too long. Maximum length is 48 characters.")}},
        {"<MOXCL VERSION=\"2\"><LOGIN U=\"  \" P=\"p\">", 1,
         {value_error(0, "User login name must not be left blank.")}},
        {"<MOXCL VERSION=\"2\"><LOGIN U=\"u\" P=\"" + name48 + "p\">", 1,
         {value_error(0, "Password too long. Maximum length is 48 characters.")}},
        {in_block("<HOTKEY_CONFIG><CTRL_Y VALUE=\"ALT,CTRL,DEL,F1,F2\"/><CTRL_W VALUE=\"A,B,C,D,E,F\"/>"), 1,
         {value_error(3, "Invalid number for hotkeys. The maximum allowed is 5.")}},
    });
}

}  // namespace
