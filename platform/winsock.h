// The Windows sockets and kernel calls the utility is written against. On
// Windows they are the real ones; elsewhere this header brings the POSIX
// sockets interface and stand-ins with the Windows names, so the rest of the
// code reads the same on every OS.
#pragma once

#include <cstddef>

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

constexpr unsigned short WINSOCK_VERSION_2_2 = MAKEWORD(2, 2);

#else

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

constexpr unsigned short WINSOCK_VERSION_2_2 = 0x0202;

struct WSAData {
    unsigned short version;
};

// Nothing to start or release on POSIX systems: both always succeed.
int WSAStartup(unsigned short version, WSAData* data);
int WSACleanup();

// The last error of the socket layer: errno here.
int WSAGetLastError();
void WSASetLastError(int error);

// The socket layer's error numbers the utility sets itself.
constexpr int WSAENOTCONN = ENOTCONN;
constexpr int WSAETIMEDOUT = ETIMEDOUT;

// Blocks the calling thread for the given number of milliseconds.
void Sleep(unsigned long milliseconds);

// Closes a socket handle; negative handles are ignored.
void closesocket(int socket_handle);

#endif

constexpr int INVALID_SOCKET_VALUE = -1;

// A stream socket for the address family, as an int handle (Windows socket
// handles fit in 32 bits); INVALID_SOCKET_VALUE when none could be made.
int open_socket(int family, int type, int protocol);

// A peer that drops the connection shows up as a failed write, not as a
// signal that ends the process (POSIX systems send SIGPIPE; Windows never).
void ignore_broken_pipes();

// Keeps the result of a failed getaddrinfo as the socket layer's last error:
// the resolver reports through its result, not through the last error.
void keep_resolver_error(int result);

// True when text is an IPv6 literal: bare ("fe80::5", "fe80::5%eth0") or in
// square brackets, optionally followed by ":port" with a decimal port
// ("[fe80::5]", "[fe80::5]:444"). Everything else is refused. On Windows the
// socket layer's own conversion decides; it knows zones by number only.
bool is_ipv6_literal(const char* text);
