#include "sim/tests/sim_client.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

std::string read_text_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

static void write_text_file(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
}

bool start_sim(SimProcess& process, const std::vector<std::string>& arguments,
               const std::string& scenario)
{
    char pattern[] = "/tmp/mpsim-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    process.folder = pattern;
    std::string port_file = process.folder + "/port";
    // A key of its own at every start, unless the test keeps one.
    std::vector<std::string> all = {MPSIM_PROGRAM, "--port", "0", "--port-file", port_file,
                                    "--record", process.folder + "/record", "--key-store", "none"};
    ::mkdir((process.folder + "/record").c_str(), 0755);
    if (!scenario.empty()) {
        write_text_file(process.folder + "/scenario", scenario);
        all.push_back("--scenario");
        all.push_back(process.folder + "/scenario");
    }
    all.insert(all.end(), arguments.begin(), arguments.end());
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    process.pid = pid;
    for (int waited = 0; waited < 1000; ++waited) { // up to ten seconds
        std::string text = read_text_file(port_file);
        if (!text.empty()) {
            std::istringstream lines(text);
            for (int port; lines >> port;)
                process.ports.push_back(port);
            process.port = process.ports.empty() ? 0 : process.ports.front();
            return process.port > 0;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            process.pid = -1;
            return false;
        }
        usleep(10000);
    }
    return false;
}

int wait_sim(SimProcess& process, int seconds)
{
    if (process.pid < 0)
        return -1;
    for (int waited = 0; waited < seconds * 100; ++waited) {
        int status = 0;
        if (waitpid(process.pid, &status, WNOHANG) == process.pid) {
            process.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        usleep(10000);
    }
    return -1;
}

int stop_sim(SimProcess& process)
{
    if (process.pid < 0)
        return -1;
    kill(process.pid, SIGTERM);
    int status = wait_sim(process, 10);
    if (process.pid >= 0) {
        kill(process.pid, SIGKILL);
        waitpid(process.pid, nullptr, 0);
        process.pid = -1;
    }
    return status;
}

bool client_connect(TlsClient& client, int port, bool modern)
{
    std::signal(SIGPIPE, SIG_IGN);
    client.context = SSL_CTX_new(TLS_client_method());
    if (modern) {
        SSL_CTX_set_min_proto_version(client.context, TLS1_2_VERSION);
    } else {
        SSL_CTX_set_security_level(client.context, 0);
        SSL_CTX_set_min_proto_version(client.context, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(client.context, TLS1_VERSION);
        SSL_CTX_set_cipher_list(client.context,
                                "DES-CBC3-SHA:EDH-RSA-DES-CBC3-SHA:EDH-DSS-DES-CBC3-SHA:@SECLEVEL=0");
    }
    client.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    timeval limit{5, 0};
    ::setsockopt(client.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    int on = 1;
    ::setsockopt(client.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client.ssl = SSL_new(client.context);
    SSL_set_fd(client.ssl, client.fd);
    return SSL_connect(client.ssl) == 1;
}

bool client_send(TlsClient& client, const std::string& bytes)
{
    return SSL_write(client.ssl, bytes.data(), static_cast<int>(bytes.size())) ==
           static_cast<int>(bytes.size());
}

int client_read(TlsClient& client, std::string& out, size_t limit)
{
    std::vector<char> buffer(limit);
    ERR_clear_error();
    int got = SSL_read(client.ssl, buffer.data(), static_cast<int>(limit));
    if (got > 0) {
        out.assign(buffer.data(), static_cast<size_t>(got));
        return got;
    }
    out.clear();
    return SSL_get_error(client.ssl, got) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

std::string client_read_to_end(TlsClient& client, bool* clean)
{
    std::string all;
    std::string piece;
    int got;
    while ((got = client_read(client, piece)) > 0)
        all += piece;
    if (clean != nullptr)
        *clean = got == 0;
    return all;
}

void client_close(TlsClient& client)
{
    if (client.ssl != nullptr) {
        SSL_shutdown(client.ssl);
        SSL_free(client.ssl);
    }
    if (client.fd >= 0)
        ::close(client.fd);
    if (client.context != nullptr)
        SSL_CTX_free(client.context);
    client = TlsClient{};
}

bool scan_response(const std::string& text, int& major, int& minor, unsigned& status,
                   std::string& message)
{
    static const char* const patterns[] = {
        "<?xml version=\"%*f\"?> < MOXCL VERSION = \" %d.%d  \" /> < RESPONSE STATUS = \" 0x%x \" "
        "MESSAGE = ' %4095[^'\n] ' ",
        "<?xml version=\"%*f\"?> < MOXCL VERSION = \" %d.%d  \" > < RESPONSE STATUS = \" 0x%x \" "
        "MESSAGE = ' %4095[^'\n] ' "};
    std::vector<char> buffer(4096);
    for (const char* pattern : patterns)
        if (std::sscanf(text.c_str(), pattern, &major, &minor, &status, buffer.data()) == 4) {
            message = buffer.data();
            return true;
        }
    return false;
}
