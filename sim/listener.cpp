#include "sim/listener.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int open_listener(const std::string& address, int port, int& bound_port, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    int failure = getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
    if (failure != 0) {
        error = address + ": " + gai_strerror(failure);
        return -1;
    }
    int listener = -1;
    for (addrinfo* entry = found; entry != nullptr && listener < 0; entry = entry->ai_next) {
        int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
        if (fd < 0)
            continue;
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, entry->ai_addr, entry->ai_addrlen) == 0 && ::listen(fd, 16) == 0) {
            listener = fd;
        } else {
            error = std::string("cannot listen on ") + address + ":" + service + ": " +
                    std::strerror(errno);
            ::close(fd);
        }
    }
    freeaddrinfo(found);
    if (listener < 0)
        return -1;
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);
    bound_port = bound.ss_family == AF_INET6
                     ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return listener;
}

bool write_port_file(const std::string& path, const std::vector<int>& ports)
{
    std::string temporary = path + ".tmp." + std::to_string(::getpid());
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr)
        return false;
    bool good = true;
    for (int port : ports)
        good = std::fprintf(file, "%d\n", port) > 0 && good;
    good = std::fclose(file) == 0 && good;
    if (good && std::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    std::remove(temporary.c_str());
    return false;
}
