// Stand-ins for the few Windows sockets and kernel calls the utility is
// written against, so the rest of the code reads the same on every OS.
#pragma once

#include <cstddef>

constexpr unsigned short WINSOCK_VERSION_2_2 = 0x0202;
constexpr int INVALID_SOCKET_VALUE = -1;

struct WSAData {
    unsigned short version;
};

// Nothing to start or release on POSIX systems: both always succeed.
int WSAStartup(unsigned short version, WSAData* data);
int WSACleanup();

// The last error of the socket layer: errno here.
int WSAGetLastError();

// Blocks the calling thread for the given number of milliseconds.
void Sleep(unsigned long milliseconds);

// Closes a socket handle; negative handles are ignored.
void closesocket(int socket_handle);

// True when text is an IPv6 literal: bare ("fe80::5", "fe80::5%eth0") or in
// square brackets, optionally followed by ":port" with a decimal port
// ("[fe80::5]", "[fe80::5]:444"). Everything else is refused.
bool is_ipv6_literal(const char* text);
