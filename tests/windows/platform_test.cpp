// The Windows side of platform/, run under Wine: what differs from the
// POSIX side and what the layers above rely on.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_identity.h"
#include "platform/file_kind.h"
#include "platform/first_line.h"
#include "platform/hidden_argument.h"
#include "platform/private_file.h"
#include "platform/socket_wait.h"
#include "platform/winsock.h"

#include <aclapi.h>

namespace {

class Sockets : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSAData data{};
        ASSERT_EQ(WSAStartup(WINSOCK_VERSION_2_2, &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    // A loopback socket listening on a port of its own; its address in `to`.
    static int listener(sockaddr_in& to)
    {
        int handle = open_socket(AF_INET, SOCK_STREAM, 0);
        to = sockaddr_in{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof to;
        bind(handle, reinterpret_cast<sockaddr*>(&to), length);
        listen(handle, 4);
        getsockname(handle, reinterpret_cast<sockaddr*>(&to), &length);
        return handle;
    }
};

TEST_F(Sockets, Ipv6LiteralsAsWindowsConvertsThem)
{
    // Zones by number only: Windows' conversion knows no interface names.
    for (const char* text : {"fe80::5", "::", "::1", "::ffff:10.1.2.3", "fe80::5%2", "[fe80::5]", "[fe80::5]:444",
                             "[fe80::5%2]:1", "1:2:3:4:5:6:7:8"})
        EXPECT_TRUE(is_ipv6_literal(text)) << text;
    for (const char* text : {"", "10.0.0.7", "mp1", "fe80::5:444x", "[fe80::5", "fe80::5]", "[fe80::5]:", "[fe80::5]:x",
                             "[fe80::5]:70000", "[fe80::5]x", "fe80::5%", "fe80::5%eth0", "[10.0.0.7]",
                             "1:2:3:4:5:6:7:8:9", "fe80::5 "})
        EXPECT_FALSE(is_ipv6_literal(text)) << text;
    // Far longer than any literal: refused, not overrun.
    EXPECT_FALSE(is_ipv6_literal(std::string(1000, ':').c_str()));
    // A refused text leaves the socket layer's last error as it was.
    WSASetLastError(WSAECONNRESET);
    EXPECT_FALSE(is_ipv6_literal("mp1"));
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST_F(Sockets, RefusedConnectionsReportWinsockCodes)
{
    sockaddr_in to{};
    int closed = listener(to);
    closesocket(closed);
    // Without and with a time limit: the same reason, the Windows code.
    for (int milliseconds : {0, 5000}) {
        SCOPED_TRACE(milliseconds);
        int handle = open_socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_NE(handle, INVALID_SOCKET_VALUE);
        EXPECT_EQ(connect_bounded(handle, reinterpret_cast<sockaddr*>(&to), sizeof to, milliseconds), -1);
        EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
        EXPECT_FALSE(last_wait_timed_out());
        closesocket(handle);
    }
}

TEST_F(Sockets, SilentPeerEndsTheReadAsATimeOut)
{
    sockaddr_in to{};
    int listening = listener(to);
    int handle = open_socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect_bounded(handle, reinterpret_cast<sockaddr*>(&to), sizeof to, 5000), 0);
    // The limit is in milliseconds, as Windows takes it: one second.
    bound_socket_waits(handle, 1000);
    auto start = std::chrono::steady_clock::now();
    char byte = 0;
    EXPECT_EQ(recv(static_cast<SOCKET>(handle), &byte, 1, 0), SOCKET_ERROR);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(last_wait_timed_out()) << WSAGetLastError();
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(10));
    set_wait_timed_out();
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    closesocket(handle);
    closesocket(listening);
}

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("quorvex-win-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(folder);
    }
    static void write(const char* name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }
    std::filesystem::path folder, previous;
};

TEST_F(Files, SameFileByVolumeAndIndex)
{
    write("a.xml", "a");
    write("b.xml", "a");
    std::filesystem::create_directories("sub");
    EXPECT_TRUE(same_file("a.xml", "a.xml"));
    EXPECT_TRUE(same_file("a.xml", ".\\sub\\..\\A.XML"));
    EXPECT_TRUE(same_file("a.xml", (folder / "a.xml").string().c_str()));
    // Two files of the same size and contents are still two files.
    EXPECT_FALSE(same_file("a.xml", "b.xml"));
    EXPECT_FALSE(same_file("a.xml", "sub"));
    EXPECT_FALSE(same_file("a.xml", "missing.xml"));
    EXPECT_FALSE(same_file("missing.xml", "missing.xml"));
}

// The run's outputs against its inputs: names that make one file, whether
// the file is there yet or not, in any letter case and folder spelling.
TEST_F(Files, OneFileWhetherThereYetOrNot)
{
    write("a.xml", "a");
    std::filesystem::create_directories("sub");
    EXPECT_TRUE(one_file("a.xml", ".\\sub\\..\\A.XML"));
    EXPECT_FALSE(one_file("a.xml", "new.json"));
    EXPECT_TRUE(one_file("new.json", ".\\NEW.json"));
    EXPECT_TRUE(one_file("new.json", "sub/../new.json"));
    EXPECT_TRUE(one_file("sub\\new.json", (folder / "SUB" / "new.json").string().c_str()));
    EXPECT_FALSE(one_file("new.json", "sub\\new.json"));
    EXPECT_FALSE(one_file("new.json", "new.log"));
}

// A password given with -p: the command line the process list reads (the
// process's own block) no longer holds it. The test's own program name
// stands in for it, as a word of its own there.
TEST(HiddenArgument, OverwritesTheProcessCommandLine)
{
    std::string word = __argv[0];
    std::wstring wide(word.begin(), word.end());
    ASSERT_NE(std::wstring(GetCommandLineW()).find(wide), std::wstring::npos) << word;
    std::string argument = word;
    hide_argument(argument.data());
    EXPECT_EQ(argument, std::string(word.size(), 'x'));
    EXPECT_EQ(std::wstring(GetCommandLineW()).find(wide), std::wstring::npos);
    EXPECT_EQ(std::string(GetCommandLineA()).find(word), std::string::npos);
    EXPECT_NE(std::wstring(GetCommandLineW()).find(std::wstring(word.size(), L'x')), std::wstring::npos);
}

// A password file that is a pipe with no writer, looked into until the
// time runs out; a file's first line is read up to its LF.
TEST_F(Files, FirstLineOfAFileOrAPipeThatStaysSilent)
{
    write("pw", "secret\r\nmore\n");
    std::string line;
    EXPECT_EQ(read_first_line("pw", 1, line), FirstLine::read);
    EXPECT_EQ(line, "secret\r");
    EXPECT_EQ(read_first_line("missing", 1, line), FirstLine::cannot_open);
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    SetStdHandle(STD_INPUT_HANDLE, reader);
    EXPECT_EQ(read_first_line(nullptr, 1, line), FirstLine::timed_out);
    DWORD written = 0;
    WriteFile(writer, "piped\nrest", 10, &written, nullptr);
    CloseHandle(writer);
    EXPECT_EQ(read_first_line(nullptr, 1, line), FirstLine::read);
    EXPECT_EQ(line, "piped");
    SetStdHandle(STD_INPUT_HANDLE, input);
    CloseHandle(reader);
}

// Only a file can give an image: NUL (the Windows /dev/null) or a folder
// cannot; a missing name is left for the open to report.
TEST_F(Files, ImagesAreReadOnlyFromFiles)
{
    write("a.img", "a");
    std::filesystem::create_directories("sub");
    EXPECT_TRUE(readable_at_once("a.img"));
    EXPECT_TRUE(readable_at_once("missing.img"));
    EXPECT_FALSE(readable_at_once("NUL"));
    EXPECT_FALSE(readable_at_once("sub"));
}

// The access list of a file that only its user may open: an entry for the
// running user, and none for anybody else (the system account aside, which
// Wine, mapping the list onto Unix modes, adds of its own).
static void expect_users_alone(const char* name)
{
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(name, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                                    nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(list, nullptr) << name;
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    CloseHandle(token);
    PSID system = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    int for_user = 0;
    for (DWORD n = 0; n < list->AceCount; ++n) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(list, n, &entry));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        PSID sid = &allowed->SidStart;
        if (EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid))
            ++for_user;
        else
            EXPECT_TRUE(EqualSid(sid, system)) << name << ": entry " << n << " lets someone else in";
    }
    EXPECT_EQ(for_user, 1) << name;
    FreeSid(system);
    LocalFree(descriptor);
}

TEST_F(Files, PrivateFileIsTheUsersAloneNewOrNot)
{
    std::string reason;
    FILE* out = create_private_file("copy.xml", reason);
    ASSERT_NE(out, nullptr);
    fclose(out);
    expect_users_alone("copy.xml");
    // A file that was there with the folder's list gets the user's alone.
    write("old.xml", "old secret");
    out = create_private_file("old.xml", reason);
    ASSERT_NE(out, nullptr);
    fputs("new", out);
    fclose(out);
    EXPECT_EQ(std::filesystem::file_size("old.xml"), 3u);
    expect_users_alone("old.xml");
}

TEST_F(Files, PrivateFileIsBinaryAndMayBeDeletedWhileRead)
{
    std::string reason;
    FILE* out = create_private_file("copy.xml", reason);
    ASSERT_NE(out, nullptr);
    fputs("a\r\nb\n", out);
    fclose(out);
    EXPECT_EQ(std::filesystem::file_size("copy.xml"), 5u);
    FILE* in = open_private_file("copy.xml");
    ASSERT_NE(in, nullptr);
    // Ctrl-C removes the working copy while the run reads it.
    EXPECT_NE(DeleteFileA("copy.xml"), 0) << GetLastError();
    char text[16] = {};
    EXPECT_EQ(fread(text, 1, sizeof text, in), 5u);
    EXPECT_STREQ(text, "a\r\nb\n");
    fclose(in);
    EXPECT_FALSE(std::filesystem::exists("copy.xml"));
    EXPECT_EQ(open_private_file("copy.xml"), nullptr);
}

}  // namespace
