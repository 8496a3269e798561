#include "link/http_probe.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "records/run_context.h"
#include "records/text_tests.h"
#include "records/log_output.h"
#include "link/connection.h"
#include "link/http_request.h"
#include "link/link.h"
#include "link/reply_chunks.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"

namespace {

constexpr int PROBE_BUFFER_SIZE = 2048;

}  // namespace

Flow generation_probe(Link& link, ProcessorGeneration& generation)
{
    generation = ProcessorGeneration::stream;
    char reply[PROBE_BUFFER_SIZE];
    std::memset(reply, 0, sizeof reply);
    if (link.run.state.checking_pass)
        return Flow::go_on;
    if (SIO_connect(link) == Flow::end_now)
        return Flow::end_now;
    // After the line of the negotiated cipher, which the handshake shows.
    if (link.run.settings.verbose)
        console_only(link.run, "quorvex: Start detecting Vyo2/Vyo3\n");
    take_client_host_name(link);

    char request[PROBE_BUFFER_SIZE];
    // The header declares 30 body bytes while 31 follow: the processors
    // expect the probe exactly like this.
    std::snprintf(request, sizeof request,
                  "POST /moxcl HTTP/1.1\r\nHOST: %s\r\nContent-length: 30\r\n\r\n<MOXCL VERSION=\"2.0\"></MOXCL>\r\n",
                  link.client_host_name);
    // A failed send shows as the read failure that follows.
    static_cast<void>(plain_send(link, request));

    int result = tls_read(link, reply, sizeof reply);
    if (result <= 0) {
        static_cast<void>(report_read_failure(link));  // the probe's verdict says it
        connection_teardown(link);
        generation = ProcessorGeneration::probe_read_failed;
        return Flow::go_on;
    }
    // A reply head split across writes is read on to its end (within the
    // buffer) before it is judged; an older processor's answer, which is no
    // HTTP at all, is judged at once.
    while (!holds(std::string_view(reply, static_cast<size_t>(result)), REPLY_OK) &&
           reply_head_unfinished(std::string_view(reply, static_cast<size_t>(result))) &&
           static_cast<size_t>(result) < sizeof reply) {
        int more = tls_read(link, reply + result, static_cast<int>(sizeof reply) - result);
        if (more <= 0)
            break;
        result += more;
    }
    if (holds(std::string_view(reply, static_cast<size_t>(result)), REPLY_OK)) {
        generation = ProcessorGeneration::http;
        if (link.run.settings.verbose)
            console_only(link.run, "\nquorvex: Vyo 3 or Vyo 4 detected\n\n");
    }
    connection_teardown(link);
    return Flow::go_on;
}
