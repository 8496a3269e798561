// The POSIX side of the Windows sockets interface (winsock_windows.cpp is
// the other).
#ifndef _WIN32

#include "platform/winsock.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <time.h>

#include <csignal>

#include <cstring>
#include <string>

#include "platform/retried_calls.h"

int WSAStartup(unsigned short version, WSAData* data)
{
    if (data)
        data->version = version;
    return 0;
}

int WSACleanup()
{
    return 0;
}

int WSAGetLastError()
{
    return errno;
}

void WSASetLastError(int error)
{
    errno = error;
}

void Sleep(unsigned long milliseconds)
{
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    // An interrupted sleep goes on for the time that is left.
    static_cast<void>(again_if_interrupted([&wait] { return nanosleep(&wait, &wait); }));
}

void closesocket(int socket_handle)
{
    if (socket_handle >= 0)
        close(socket_handle);
}

int open_socket(int family, int type, int protocol)
{
    int handle = socket(family, type, protocol);
    return handle < 0 ? INVALID_SOCKET_VALUE : handle;
}

void ignore_broken_pipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void keep_resolver_error(int result)
{
    // EAI_SYSTEM: the resolver's reason is in errno already.
    if (result != EAI_SYSTEM)
        errno = result;
}

// An address with an optional "%zone" suffix; the zone is an interface
// name or number and must not be empty.
static bool is_bare_ipv6(const std::string& text)
{
    std::string address = text;
    auto percent = text.find('%');
    if (percent != std::string::npos) {
        std::string zone = text.substr(percent + 1);
        if (zone.empty() || zone.size() >= IF_NAMESIZE)
            return false;
        for (char c : zone)
            if (c == '%' || c == ']' || c == '[' || c <= ' ')
                return false;
        address = text.substr(0, percent);
    }
    in6_addr parsed{};
    return inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

bool is_ipv6_literal(const char* text)
{
    if (!text || !*text)
        return false;
    if (text[0] != '[')
        return is_bare_ipv6(text);
    const char* close = std::strchr(text, ']');
    if (!close)
        return false;
    if (!is_bare_ipv6(std::string(text + 1, close)))
        return false;
    const char* rest = close + 1;
    if (*rest == '\0')
        return true;
    if (*rest != ':')
        return false;
    ++rest;
    if (*rest == '\0')
        return false;
    unsigned long port = 0;
    for (; *rest; ++rest) {
        if (*rest < '0' || *rest > '9')
            return false;
        port = port * 10 + static_cast<unsigned long>(*rest - '0');
        if (port > 65535)
            return false;
    }
    return true;
}

#endif
