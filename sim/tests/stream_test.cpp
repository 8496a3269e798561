// A stream-mode conversation through every special command: each answer is
// numbered and named by the scenario, so an answer given at the wrong
// moment shows up as the wrong name.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "sim/tests/sim_client.h"

namespace {

struct Step {
    std::string send;                  // one token (a separator is added) or raw bytes
    std::vector<std::string> answers;  // names of the answers due right after it
    bool raw = false;                  // sent as it stands
};

std::string image_bytes(size_t size, unsigned seed)
{
    // Tag-like text among the bytes: none of it may be taken for a command.
    const std::string decoy = "< GET_DECOY />\n</ BLOCK_A >\n</MOXCL>";
    std::string bytes;
    for (size_t i = 0; bytes.size() < size; ++i)
        bytes += (i % 97 == 0) ? decoy : std::string(1, static_cast<char>((i * seed) & 0xFF));
    bytes.resize(size);
    return bytes;
}

class StreamSession : public testing::Test {
protected:
    SimProcess sim;
    TlsClient client;
    int answered = 0;
    std::vector<size_t> answer_sizes;

    void SetUp() override
    {
        std::ofstream(std::string("/tmp/mpsim-floppy-") + std::to_string(getpid()), std::ios::binary)
            << floppy;
        ASSERT_TRUE(start_sim(sim,
                              {"--generation", "stream", "--connections", "1", "--floppy-file",
                               "/tmp/mpsim-floppy-" + std::to_string(getpid())},
                              "every message '{n} {name}'\n"));
        ASSERT_TRUE(client_connect(client, sim.port));
    }
    void TearDown() override
    {
        client_close(client);
        stop_sim(sim);
        std::remove(("/tmp/mpsim-floppy-" + std::to_string(getpid())).c_str());
    }

    void expect_answer(const std::string& name)
    {
        std::string reply;
        ASSERT_GT(client_read(client, reply, 2047), 0) << "no answer for " << name;
        answer_sizes.push_back(reply.size());
        int major = 0, minor = 0;
        unsigned status = 1;
        std::string message;
        ASSERT_TRUE(scan_response(reply, major, minor, status, message)) << reply;
        ++answered;
        EXPECT_EQ(message, std::to_string(answered) + " " + name);
        EXPECT_EQ(status, 0u);
        EXPECT_NE(reply.find("</MOXCL>"), std::string::npos);
        if (name.rfind("GET", 0) == 0) {
            EXPECT_NE(reply.find("<ITEM_A>"), std::string::npos) << reply;
        }
    }

    void run(const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            std::string text = step.send;
            if (!step.raw)
                text += (text[0] == '>' || text[0] == '/') ? '\n' : ' ';
            ASSERT_TRUE(client_send(client, text));
            for (const std::string& name : step.answers)
                expect_answer(name);
        }
    }

    const std::string floppy = image_bytes(20000, 7);
};

std::vector<Step> tokens(const std::string& line, std::vector<std::string> last_answers = {})
{
    std::vector<Step> steps;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find(' ', at);
        if (line[at] == '"')
            end = line.find('"', at + 1) + 1;
        if (end == std::string::npos)
            end = line.size();
        steps.push_back(Step{line.substr(at, end - at), {}});
        at = end + 1;
    }
    steps.back().answers = std::move(last_answers);
    return steps;
}

void add(std::vector<Step>& into, std::vector<Step> more)
{
    into.insert(into.end(), more.begin(), more.end());
}

TEST_F(StreamSession, AnswersEveryCheckPointOnceAndMovesImages)
{
    std::vector<Step> steps;
    steps.push_back(Step{"<?xml version=\"1.0\"?>\r\n", {"?XML"}, true});
    steps.push_back(Step{"<TAMRO VERSION=\"4.21\">\r\n", {"TAMRO"}, true});
    add(steps, tokens("<? xml version = \"1.0\" ?>", {"?XML"}));
    add(steps, tokens("<? VYO entity - processing = \"x\" ?>", {"?VYO"}));
    add(steps, tokens("< MOXCL VERSION = \"2.0\" >", {"MOXCL"}));
    add(steps, tokens("< login USER_LOGIN = \"admin\" PASSWORD = \"a b\" >", {"LOGIN"}));
    add(steps, tokens("< BLOCK_A MODE = \"write\" >", {"BLOCK_A"}));
    add(steps, tokens("< SET_ITEM VALUE = \"1\" />", {"SET_ITEM"}));
    add(steps, tokens("< GET_ITEM_A />", {"GET_ITEM_A"}));
    add(steps, tokens("< MOD_GROUP >", {"MOD_GROUP"}));
    add(steps, tokens("< CHILD_A VALUE = \"1\" />", {"CHILD_A"}));
    add(steps, tokens("</ MOD_GROUP >", {"MOD_GROUP"}));
    add(steps, tokens("< HOTKEY_CONFIG > < CTRL_T VALUE = \"ALT,F1\" /> </ HOTKEY_CONFIG >",
                      {"HOTKEY_CONFIG"}));
    add(steps, tokens("< ADD_USER NAME = \"a\" LOGIN = \"b\" PW = \"c\" >", {"ADD_USER"}));
    add(steps, tokens("< PRIV VALUE = \"Y\" />", {"PRIV"}));
    add(steps, tokens("</ ADD_USER >", {"ADD_USER"}));
    add(steps, tokens("< IMPORT_CERTIFICATE >"));
    steps.push_back(Step{"-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----", {}});
    add(steps, tokens("</ IMPORT_CERTIFICATE >", {"IMPORT_CERTIFICATE"}));
    add(steps, tokens("< SET_SECURITY_MSG >", {"SET_SECURITY_MSG"}));
    add(steps, tokens("< SECURITY_MSG VALUE = \"Y\" />", {"SECURITY_MSG"}));
    add(steps, tokens("< SECURITY_MSG_TEXT >"));
    steps.push_back(Step{"-----BEGIN BLOB-----\nhello\n-----END BLOB-----", {}});
    add(steps, tokens("</ SECURITY_MSG_TEXT >", {"SECURITY_MSG_TEXT"}));
    add(steps, tokens("</ SET_SECURITY_MSG >", {"SET_SECURITY_MSG"}));
    add(steps, tokens("< MOD_TWOFACTOR_SETTINGS > < IMPORT_CA_CERTIFICATE >"));
    steps.push_back(Step{"-----BEGIN CERTIFICATE-----\nMIIC\n-----END CERTIFICATE-----", {}});
    add(steps, tokens("</ IMPORT_CA_CERTIFICATE >", {"IMPORT_CA_CERTIFICATE"}));
    add(steps, tokens("< IMPORT_USER_CERTIFICATE USER = \"a\" >"));
    steps.push_back(Step{"-----BEGIN CERTIFICATE-----\nMIID\n-----END CERTIFICATE-----", {}});
    add(steps, tokens("</ IMPORT_USER_CERTIFICATE >", {"IMPORT_USER_CERTIFICATE"}));
    add(steps, tokens("< AUTH_MODE VALUE = \"x\" />", {"AUTH_MODE"}));
    add(steps, tokens("</ MOD_TWOFACTOR_SETTINGS > < IMPORT_SSH_KEY >"));
    steps.push_back(Step{"-----BEGIN SSH KEY-----\nssh-rsa AAAA a-b\n-----END SSH KEY-----", {}});
    add(steps, tokens("</ IMPORT_SSH_KEY >", {"IMPORT_SSH_KEY"}));
    add(steps, tokens("< MOD_DIR_CONFIG > < DIR_KERBEROS_KEYTAB >"));
    steps.push_back(Step{"-----BEGIN KEYTAB-----\nBQIA\n-----END KEYTAB-----", {}});
    add(steps, tokens("</ DIR_KERBEROS_KEYTAB >", {"DIR_KERBEROS_KEYTAB"}));
    add(steps, tokens("</ MOD_DIR_CONFIG > < MOD_SNMP_QX_SETTINGS >"));
    add(steps, tokens("< SNMP_ADDRESS_2_TRAPCOMMUNITY VERSION = \"v2\" VALUE = \"public\" />",
                      {"SNMP_ADDRESS_2_TRAPCOMMUNITY"}));
    add(steps, tokens("</ MOD_SNMP_QX_SETTINGS > < BLOB_WRITE > < BLOB_DATA >"));
    steps.push_back(Step{"-----BEGIN BLOB-----\nAAAA\n-----END BLOB-----", {}});
    add(steps, tokens("</ BLOB_DATA >", {"BLOB_DATA"}));
    add(steps, tokens("</ BLOB_WRITE >"));

    // Firmware: the script's element goes unanswered, the utility's own
    // element with the length is answered, then the image, then the action.
    const std::string firmware = image_bytes(40000, 13);
    add(steps, tokens("< UPDATE_MOX_FIRMWARE IMAGE_LOCATION = \"fw.bin\" />"));
    steps.push_back(Step{"\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"fw.bin\" IMAGE_LENGTH=\"40000\"/>\r\n",
                         {"UPDATE_MOX_FIRMWARE"}, true});
    steps.push_back(Step{firmware.substr(0, 16384), {}, true});
    steps.push_back(Step{firmware.substr(16384, 16384), {}, true});
    steps.push_back(Step{firmware.substr(32768), {"UPDATE_MOX_FIRMWARE"}, true});
    const std::string inserted = image_bytes(5000, 3);
    add(steps, tokens("< insert_virtual_floppy IMAGE_LOCATION = \"fd.img\" IMAGE_LENGTH = \"9\" />"));
    steps.push_back(Step{"\r\n<INSERT_VIRTUAL_FLOPPY IMAGE_LOCATION=\"fd.img\" IMAGE_LENGTH=\"5000\"/>\r\n",
                         {"INSERT_VIRTUAL_FLOPPY"}, true});
    steps.push_back(Step{inserted, {"INSERT_VIRTUAL_FLOPPY"}, true});
    run(steps);
    if (HasFatalFailure())
        return;

    // Floppy copy: a length field in a read of its own, the image, one answer.
    run(tokens("< COPY_VIRTUAL_FLOPPY IMAGE_LOCATION = \"copy.img\" />"));
    std::string field;
    ASSERT_GT(client_read(client, field, 16), 0);
    EXPECT_EQ(field, "'20000'         ");
    std::string copied;
    while (copied.size() < floppy.size()) {
        std::string piece;
        ASSERT_GT(client_read(client, piece, 16384), 0);
        copied += piece;
    }
    EXPECT_EQ(copied, floppy);
    expect_answer("COPY_VIRTUAL_FLOPPY");

    run(tokens("</ BLOCK_A >", {"BLOCK_A", "BLOCK_A"}));
    run(tokens("</ LOGIN >", {"LOGIN"}));
    run(tokens("</ MOXCL >"));
    SSL_shutdown(client.ssl);
    bool clean = false;
    EXPECT_EQ(client_read_to_end(client, &clean), "") << "answers nobody asked for";
    EXPECT_TRUE(clean);
    EXPECT_EQ(wait_sim(sim, 10), 0);

    const std::string record = sim.folder + "/record/conn-1.";
    EXPECT_EQ(read_text_file(record + "image-1"), firmware);
    EXPECT_EQ(read_text_file(record + "image-2"), inserted);
    EXPECT_NE(read_text_file(record + "summary").find("kind=stream"), std::string::npos);
    EXPECT_NE(read_text_file(record + "summary").find("end=client-close-notify"), std::string::npos)
        << read_text_file(record + "summary");
}

// conn-N.records: a line for each record received and for each answer
// sent, in the order of the conversation.
TEST_F(StreamSession, RecordsFollowTheConversation)
{
    std::vector<Step> steps;
    steps.push_back(Step{"<?xml version=\"1.0\"?>\r\n", {"?XML"}, true});
    add(steps, tokens("< MOXCL VERSION = \"2.0\" >", {"MOXCL"}));
    run(steps);
    ASSERT_EQ(answer_sizes.size(), 2u);
    SSL_shutdown(client.ssl);
    client_read_to_end(client, nullptr);
    EXPECT_EQ(wait_sim(sim, 10), 0);
    EXPECT_EQ(read_text_file(sim.folder + "/record/conn-1.records"),
              "in 23\nout " + std::to_string(answer_sizes[0]) + "\nin 2\nin 6\nin 8\nin 2\nin 6\nin 2\nout " +
                  std::to_string(answer_sizes[1]) + "\n");
}

} // namespace
