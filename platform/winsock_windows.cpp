// The Windows side of the sockets interface (winsock.cpp is the POSIX one).
#ifdef _WIN32

#include "platform/winsock.h"

#include <cstring>

int open_socket(int family, int type, int protocol)
{
    SOCKET handle = socket(family, type, protocol);
    // Socket handles are kernel handles, which fit in 32 bits.
    return handle == INVALID_SOCKET ? INVALID_SOCKET_VALUE : static_cast<int>(handle);
}

void ignore_broken_pipes() {}

void keep_resolver_error(int result)
{
    // getaddrinfo returns a Windows sockets error number.
    WSASetLastError(result);
}

bool is_ipv6_literal(const char* text)
{
    if (text == nullptr || *text == '\0')
        return false;
    // The conversion takes a writable string; the longest literal with
    // brackets, zone and port is far below this.
    char copy[128];
    size_t length = strnlen(text, sizeof copy);
    if (length >= sizeof copy)
        return false;
    std::memcpy(copy, text, length + 1);
    sockaddr_in6 address{};
    int address_length = sizeof address;
    int saved = WSAGetLastError();
    bool converted = WSAStringToAddressA(copy, AF_INET6, nullptr, reinterpret_cast<sockaddr*>(&address),
                                         &address_length) == 0;
    // A refused text is no failure of the socket layer.
    WSASetLastError(saved);
    return converted;
}

#endif
