#include "sim/peer_link.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/sim_state.h"

std::atomic<bool> stop_requested = false;

bool link_is_open(const PeerLink& link)
{
    return link.end.empty();
}

namespace {

// How often a wait looks at stop_requested.
constexpr int stop_check_ms = 100;

} // namespace

void sleep_milliseconds(int milliseconds)
{
    while (milliseconds > 0 && !stop_requested) {
        int slice = std::min(milliseconds, stop_check_ms);
        timespec wait{0, slice * 1000000L};
        while (nanosleep(&wait, &wait) != 0 && errno == EINTR && !stop_requested) {
        }
        milliseconds -= slice;
    }
}

bool wait_for_client(int fd)
{
    long long left = sim.options.timeout_seconds * 1000LL;
    while (true) {
        int slice = static_cast<int>(std::min<long long>(left, stop_check_ms));
        pollfd watch{fd, POLLIN, 0};
        int ready = ::poll(&watch, 1, slice);
        if (ready > 0)
            return true;
        if (stop_requested)
            return false;
        if (ready == 0) {
            left -= slice;
            if (left <= 0)
                return false;
        } else if (errno != EINTR) {
            return true; // the read that follows says what went wrong
        }
    }
}

static std::string failure_reason(PeerLink& link, int result, int saved_errno)
{
    int code = SSL_get_error(link.ssl, result);
    if (code == SSL_ERROR_ZERO_RETURN)
        return "client-close-notify";
    if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE)
        return "timeout";
    if (code == SSL_ERROR_SSL) {
        unsigned long error = ERR_peek_error();
        if (ERR_GET_REASON(error) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
            return "client-eof";
        return "tls-error";
    }
    if (stop_requested)
        return "stopped";
    if (saved_errno == EAGAIN || saved_errno == EWOULDBLOCK)
        return "timeout";
    if (saved_errno == ECONNRESET || saved_errno == EPIPE)
        return "client-reset";
    if (saved_errno == 0)
        return "client-eof";
    return "socket-error";
}

bool link_read(PeerLink& link)
{
    if (!link_is_open(link))
        return false;
    char buffer[16384];
    while (true) {
        if (SSL_has_pending(link.ssl) == 0 && !wait_for_client(link.fd)) {
            link.end = stop_requested ? "stopped" : "timeout";
            return false;
        }
        ERR_clear_error();
        errno = 0;
        int result = SSL_read(link.ssl, buffer, sizeof buffer);
        int saved_errno = errno;
        if (result > 0) {
            link.input.append(buffer, static_cast<size_t>(result));
            link.bytes_in += result;
            transcript_received(link.transcript, buffer, static_cast<size_t>(result));
            if (link.record != nullptr)
                link.record->received.append(buffer, static_cast<size_t>(result));
            return true;
        }
        if (saved_errno == EINTR && !stop_requested)
            continue;
        link.end = stop_requested ? "stopped" : failure_reason(link, result, saved_errno);
        return false;
    }
}

bool link_fill(PeerLink& link, size_t count)
{
    while (link.input.size() < count)
        if (!link_read(link))
            return false;
    return true;
}

bool link_write(PeerLink& link, const std::string& bytes)
{
    if (!link_is_open(link))
        return false;
    if (bytes.empty())
        return true;
    ERR_clear_error();
    errno = 0;
    int result = SSL_write(link.ssl, bytes.data(), static_cast<int>(bytes.size()));
    if (result <= 0) {
        std::string reason = failure_reason(link, result, errno);
        link.end = reason == "timeout" ? "write-timeout" : reason;
        return false;
    }
    link.bytes_out += result;
    transcript_sent(link.transcript, static_cast<size_t>(result));
    return true;
}

bool link_write_pieces(PeerLink& link, const std::string& bytes, const std::vector<size_t>& sizes)
{
    if (sizes.empty())
        return link_write(link, bytes);
    size_t at = 0;
    size_t index = 0;
    while (at < bytes.size()) {
        size_t size = std::max<size_t>(sizes[std::min(index, sizes.size() - 1)], 1);
        ++index;
        size_t take = std::min(size, bytes.size() - at);
        if (!link_write(link, bytes.substr(at, take)))
            return false;
        at += take;
    }
    return true;
}

// Reads what the client still sends (its close_notify, usually) so that
// closing the socket does not reset a connection whose last answer the
// client has not read yet.
static void drain_before_close(int fd)
{
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    int quiet_limit = 500;
    for (int rounds = 0; rounds < 100; ++rounds) {
        pollfd watch{fd, POLLIN, 0};
        if (::poll(&watch, 1, quiet_limit) <= 0)
            return;
        if (::recv(fd, sink, sizeof sink, 0) <= 0)
            return;
        quiet_limit = 50;
    }
}

void link_close(PeerLink& link, CloseMode mode, const char* reason)
{
    if (link.fd < 0)
        return;
    if (link.end.empty())
        link.end = reason;
    link.summary = "kind=" + link.kind + " in=" + std::to_string(link.bytes_in) +
                   " out=" + std::to_string(link.bytes_out) + " end=" + link.end;
    transcript_end(link.transcript, link.summary);
    if (mode == CloseMode::notify && link.ssl != nullptr) {
        ERR_clear_error();
        SSL_shutdown(link.ssl);
    }
    drain_before_close(link.fd);
    ::close(link.fd);
    link.fd = -1;
    if (link.ssl != nullptr) {
        SSL_free(link.ssl);
        link.ssl = nullptr;
    }
    ERR_clear_error();
}
