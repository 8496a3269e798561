// HTTP mode: the chunked reply to a posted script, and the firmware upload
// with its cookie and the follow-up request.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "sim/tests/sim_client.h"

namespace {

const std::vector<std::string> script_lines = {
    "<?xml version=\"1.0\"?>",
    "<!-- <GET_COMMENTED/> -->",
    "<MOXCL VERSION=\"2.0\">",
    "<LOGIN USER_LOGIN=\"admin\" PASSWORD=\"pw\">",
    "<SERVER_INFO MODE=\"read\">",
    "<GET_ITEM_A/>",
    "<SET_ITEM VALUE=\"1\"/>",
    "<ADD_USER NAME=\"a\" LOGIN=\"b\" PW=\"c\">",
    "<PRIV VALUE=\"Y\"/>",
    "</ADD_USER>",
    "</SERVER_INFO>",
    "</LOGIN>",
    "</MOXCL>",
};

// Sends a script request the way the utility does: the head, then one
// write per line.
bool post_script(TlsClient& client, const std::vector<std::string>& lines,
                 const std::string& extra_head = "")
{
    size_t length = 0;
    for (const std::string& line : lines)
        length += line.size() + 2;
    if (!client_send(client, "POST /moxcl HTTP/1.1\r\nHOST: tester\r\nTE: chunked\r\n" + extra_head +
                                 "Connection: Close\r\nContent-length: " + std::to_string(length) +
                                 "\r\n\r\n"))
        return false;
    for (const std::string& line : lines)
        if (!client_send(client, line + "\r\n"))
            return false;
    return true;
}

// One chunk in one read: returns its data, or "#bad" when the read is not
// a whole chunk.
std::string whole_chunk(const std::string& read)
{
    char* end = nullptr;
    unsigned long size = std::strtoul(read.c_str(), &end, 16);
    size_t data_at = static_cast<size_t>(end - read.c_str());
    if (read.compare(data_at, 2, "\r\n") != 0 || read.size() != data_at + 2 + size + 2 ||
        read.compare(read.size() - 2, 2, "\r\n") != 0)
        return "#bad";
    return read.substr(data_at + 2, size);
}

TEST(HttpMode, ReplyHeadThenOneChunkPerCommandThenClose)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--connections", "1"}));
    TlsClient client;
    ASSERT_TRUE(client_connect(client, sim.port));
    ASSERT_TRUE(post_script(client, script_lines));
    std::string read;
    ASSERT_GT(client_read(client, read, 4096), 0);
    EXPECT_EQ(read.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(read.substr(read.size() - 4), "\r\n\r\n") << "the head comes in a read of its own";

    std::vector<std::string> expected = {"GET_ITEM_A", "SET_ITEM", "ADD_USER"};
    for (const std::string& command : expected) {
        ASSERT_GT(client_read(client, read, 4096), 0);
        std::string data = whole_chunk(read);
        int major = 0, minor = 0;
        unsigned status = 1;
        std::string message;
        EXPECT_TRUE(scan_response(data, major, minor, status, message)) << command << ": " << read;
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(data.find("<ITEM_A>") != std::string::npos, command == "GET_ITEM_A") << data;
    }
    ASSERT_GT(client_read(client, read, 4096), 0);
    EXPECT_EQ(read, "0\r\n\r\n");
    bool clean = false;
    EXPECT_EQ(client_read_to_end(client, &clean), "");
    EXPECT_TRUE(clean);
    client_close(client);
    EXPECT_EQ(wait_sim(sim, 10), 0);
    EXPECT_NE(read_text_file(sim.folder + "/record/conn-1.summary").find("kind=http"),
              std::string::npos);
}

std::string upload_request(const std::string& image, const std::string& boundary)
{
    std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"fileType\"\r\n\r\n" +
                       "\r\n--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"fwimgfile\"; filename=\"fw.bin\"\r\n"
                       "Content-Type: application/octet-stream\r\n\r\n" +
                       image + "\r\n--" + boundary + "--\r\n";
    return "POST /cgi-bin/uploadMoxclFiles HTTP/1.1\r\nHOST: tester\r\nTE: chunked\r\n"
           "Connection: close\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: multipart/form-data; boundary=" + boundary + "\r\n\r\n" + body;
}

std::string follow_up(int port, const std::string& cookie_line, size_t image_length)
{
    TlsClient client;
    if (!client_connect(client, port))
        return "#no connection";
    std::vector<std::string> lines = {
        "<MOXCL VERSION=\"2.0\">", "<LOGIN USER_LOGIN=\"admin\" PASSWORD=\"pw\">",
        "<MP_INFO MODE=\"write\">",
        "<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"fw.bin\" IMAGE_LENGTH=\"" +
            std::to_string(image_length) + "\"/>",
        "</MP_INFO>", "</LOGIN>", "</MOXCL>"};
    post_script(client, lines, cookie_line);
    std::string reply = client_read_to_end(client);
    client_close(client);
    return reply;
}

TEST(HttpMode, UploadGivesACookieThatTheFlashRequestNeeds)
{
    SimProcess sim;
    ASSERT_TRUE(start_sim(sim, {"--connections", "4"}));
    std::string image(50000, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 7919) >> 3);
    TlsClient client;
    ASSERT_TRUE(client_connect(client, sim.port));
    std::string request = upload_request(image, "------zqVyo3t1234567");
    for (size_t at = 0; at < request.size(); at += 16384)
        ASSERT_TRUE(client_send(client, request.substr(at, 16384)));
    std::string reply = client_read_to_end(client);
    client_close(client);
    size_t at = reply.find("Set-Cookie: MoxclFlash=");
    ASSERT_NE(at, std::string::npos) << reply;
    // What the utility copies: 70 characters from "Cookie: MoxclFlash=".
    std::string cookie = reply.substr(at + 4, 70);
    EXPECT_EQ(read_text_file(sim.folder + "/record/conn-1.image-1"), image);

    EXPECT_NE(follow_up(sim.port, cookie, image.size()).find("Firmware flash completed successfully"),
              std::string::npos);
    std::string without_cookie = follow_up(sim.port, "", image.size());
    EXPECT_EQ(without_cookie.find("Firmware flash completed successfully"), std::string::npos);
    EXPECT_NE(without_cookie.find("STATUS=\"0x0021\""), std::string::npos) << without_cookie;
    EXPECT_EQ(follow_up(sim.port, cookie, image.size() - 1).find("completed successfully"),
              std::string::npos);
    EXPECT_EQ(wait_sim(sim, 10), 0);
    EXPECT_NE(read_text_file(sim.folder + "/record/conn-1.summary").find("kind=upload"),
              std::string::npos);
}

} // namespace
