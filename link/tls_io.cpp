#include "link/tls_io.h"

#include <openssl/err.h>

#include "records/log_output.h"
#include "records/results.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "records/run_limits.h"
#include "link/link.h"
#include "platform/socket_wait.h"
#include "platform/system_error_name.h"
#include "platform/winsock.h"

void use_link_peer(Link& link, const LinkPeer* peer)
{
    link.peer = peer;
}

const char* plural(int count)
{
    return count == 1 ? "" : "s";
}

// The processor as the words of a failure name it.
static std::string processor_at(const RunContext& run)
{
    return format_text("the processor at %s:%s", run.settings.server_address, run.settings.port_text);
}

// A failure of the connection with the socket layer's last error: what
// happened, then the system's words and the error's name, if any.
static void note_connection_cause(RunContext& run, Cause cause, const std::string& what)
{
    int error = WSAGetLastError();
    const char* name = error != 0 ? system_error_name(error) : nullptr;
    std::string detail = what;
    if (error != 0)
        detail += ": " + system_error_text(error) + (name != nullptr ? std::string(" (") + name + ")" : "");
    note_cause(run, cause, detail, 0, name != nullptr ? name : "");
    WSASetLastError(error);
}

bool report_deadline_reached(Link& link, Cause cause)
{
    RunContext& run = link.run;
    if (!deadline_passed(run.settings))
        return false;
    if (!run.state.deadline_reached) {
        log_error(run, "The time bound of %d second%s for this processor was reached: giving up.\r\n",
                  run.settings.time_bound_seconds, plural(run.settings.time_bound_seconds));
        note_cause(run, cause,
                   format_text("the time bound of %d second%s for %s was reached", run.settings.time_bound_seconds,
                               plural(run.settings.time_bound_seconds), processor_at(run).c_str()));
    }
    run.state.deadline_reached = true;
    return true;
}

// With a deadline, each read or write waits at most for what is left of it.
static void bound_by_deadline(Link& link)
{
    const RunSettings& settings = link.run.settings;
    if (settings.has_deadline && link.connection.socket >= 0)
        bound_socket_waits(link.connection.socket, wait_milliseconds(settings, settings.data_wait_seconds));
}

// A write that moved no byte within the wait limit: the message, and the
// socket layer's last error left as a time-out for the reason reported next.
static void report_write_wait_timeout(Link& link)
{
    if (report_deadline_reached(link, Cause::send_timeout)) {
        set_wait_timed_out();
        return;
    }
    log_error(link.run, "Waited %d second%s for the MOX to take data: giving up (QUORVEX_TIMEOUT).\r\n",
              link.run.settings.data_wait_seconds, plural(link.run.settings.data_wait_seconds));
    note_cause(link.run, Cause::send_timeout,
               format_text("%s took no data for %d second%s", processor_at(link.run).c_str(),
                           link.run.settings.data_wait_seconds, plural(link.run.settings.data_wait_seconds)));
    set_wait_timed_out();
}

int tls_write(Link& link, const void* data, int length)
{
    if (link.peer != nullptr)
        return link.peer->write(link.peer->context, data, length);
    const Connection& connection = link.connection;
    if (connection.tls == nullptr) {
        WSASetLastError(WSAENOTCONN);
        return -1;
    }
    // The reason reported for a failure is what the socket layer said
    // during this call, or 0 when it said nothing.
    bound_by_deadline(link);
    WSASetLastError(0);
    int result = SSL_write(connection.tls, data, length);
    if (result <= 0 && last_wait_timed_out()) {
        report_write_wait_timeout(link);
        ERR_clear_error();
        return -1;
    }
    return result;
}

LinkResult tls_flush(Link& link)
{
    const Connection& connection = link.connection;
    if (link.peer != nullptr || connection.tls == nullptr)
        return LinkResult::ok;
    BIO* queue = SSL_get_wbio(connection.tls);
    bound_by_deadline(link);
    WSASetLastError(0);
    if (queue == nullptr || BIO_flush(queue) > 0)
        return LinkResult::ok;
    int reason = WSAGetLastError();
    ERR_clear_error();
    WSASetLastError(reason);
    if (!run_going(link.run))
        return LinkResult::write_failure;
    if (last_wait_timed_out())
        report_write_wait_timeout(link);
    return report_write_failure(link);
}

void report_data_wait_timeout(Link& link)
{
    if (report_deadline_reached(link, Cause::processor_silent))
        return;
    log_error(link.run, "Waited %d second%s for the MOX to send data: giving up (QUORVEX_TIMEOUT).\r\n",
              link.run.settings.data_wait_seconds, plural(link.run.settings.data_wait_seconds));
    note_cause(link.run, Cause::processor_silent,
               format_text("%s sent nothing for %d second%s", processor_at(link.run).c_str(),
                           link.run.settings.data_wait_seconds, plural(link.run.settings.data_wait_seconds)));
}

int tls_read(Link& link, void* buffer, int size)
{
    if (link.peer != nullptr)
        return link.peer->read(link.peer->context, buffer, size);
    const Connection& connection = link.connection;
    if (connection.tls == nullptr) {
        WSASetLastError(WSAENOTCONN);
        return -1;
    }
    link.read_failed_in_write = false;
    if (tls_flush(link) != LinkResult::ok) {
        link.read_failed_in_write = true;
        return -1;
    }
    bound_by_deadline(link);
    WSASetLastError(0);
    int result = SSL_read(connection.tls, buffer, size);
    if (result >= 0)
        return result;
    // A processor that closes the connection without a TLS close
    // notification has ended its data all the same.
    int reason = SSL_get_error(connection.tls, result);
    unsigned long queued = ERR_peek_error();
    bool closed = reason == SSL_ERROR_ZERO_RETURN ||
                  (reason == SSL_ERROR_SSL && ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING) ||
                  (reason == SSL_ERROR_SYSCALL && queued == 0 && WSAGetLastError() == 0);
    if (closed) {
        ERR_clear_error();
        return 0;
    }
    if (last_wait_timed_out()) {
        report_data_wait_timeout(link);
        set_wait_timed_out();
        ERR_clear_error();
    }
    return result;
}

LinkResult report_read_failure(Link& link)
{
    if (link.read_failed_in_write) {
        link.read_failed_in_write = false;
        return LinkResult::write_failure;
    }
    note_connection_cause(link.run, Cause::processor_closed,
                          "the connection to " + processor_at(link.run) + " ended before its reply was whole");
    log_error(link.run, "SSL_read:Connection Terminated:reason(%d).\r\n", WSAGetLastError());
    record_failure(link.run, RunCode::read_failure);
    return LinkResult::read_failure;
}

bool reply_within_limit(Link& link, long long& total, int count)
{
    total += count > 0 ? count : 0;
    if (total <= REPLY_BYTE_LIMIT)
        return true;
    log_error(link.run, "The MOX's reply passed %lld bytes without its end.\r\n", REPLY_BYTE_LIMIT);
    note_cause(link.run, Cause::reply_too_long,
               format_text("a reply of %s passed %lld bytes without its end", processor_at(link.run).c_str(),
                           REPLY_BYTE_LIMIT));
    record_failure(link.run, RunCode::read_failure);
    return false;
}

LinkResult report_write_failure(Link& link)
{
    note_connection_cause(link.run, Cause::send_failed, "sending to " + processor_at(link.run) + " failed");
    log_error(link.run, "SSL_write:Connection Terminated:reason(%d).\r\n", WSAGetLastError());
    record_failure(link.run, RunCode::write_failure);
    return LinkResult::write_failure;
}
