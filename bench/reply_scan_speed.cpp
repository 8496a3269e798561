// CPU time of the HTTP reply loop over large replies fed from memory: the
// status scan and the flash confirmation search must stay linear in the
// reply's length.
//
// Usage: reply_scan_speed [MIB [READ]]   (default 1 MiB in reads of up to 4096 bytes)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "driver/run.h"
#include "link/http_exchange.h"
#include "link/link.h"
#include "link/tls_io.h"
#include "records/run_context.h"

namespace {

struct Reply {
    std::string bytes;
    size_t piece;  // the most one read returns, as a slow link delivers it
    size_t at = 0;
};

int read_reply(void* context, void* buffer, int size)
{
    Reply& reply = *static_cast<Reply*>(context);
    size_t count = std::min({static_cast<size_t>(size), reply.piece, reply.bytes.size() - reply.at});
    std::memcpy(buffer, reply.bytes.data() + reply.at, count);
    reply.at += count;
    return static_cast<int>(count);
}

int write_nowhere(void*, const void*, int length)
{
    return length;
}

// A chunked reply whose chunk data is text repeated to about size bytes.
std::string chunked_reply(const std::string& unit, size_t size)
{
    constexpr size_t CHUNK = 4000;
    std::string data;
    while (data.size() < size)
        data += unit;
    std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t at = 0; at < data.size(); at += CHUNK) {
        size_t length = std::min(CHUNK, data.size() - at);
        char head[32];
        std::snprintf(head, sizeof head, "%zx\r\n", length);
        reply += head;
        reply.append(data, at, length);
        reply += "\r\n";
    }
    return reply + "0\r\n\r\n";
}

double cpu_seconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

size_t read_piece = 4096;

void measure(const char* name, const std::string& bytes, bool firmware_upload)
{
    RunContext run;
    Link link(run);
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::http;
    run.state.log_stream = std::fopen("/dev/null", "wb");
    Reply reply{bytes, read_piece};
    LinkPeer peer{read_reply, write_nowhere, &reply};
    use_link_peer(link, &peer);
    double start = cpu_seconds();
    static_cast<void>(reply_read_loop(link, firmware_upload));  // the verdict is not timed
    int status = status_scan(link);
    double spent = cpu_seconds() - start;
    use_link_peer(link, nullptr);
    std::fclose(run.state.log_stream);
    run.state.log_stream = nullptr;
    std::fprintf(stderr, "%-28s %8.3f s CPU  (%zu bytes in reads of %zu, status %d, run status %d)\n", name, spent,
                 bytes.size(), read_piece, status, run.state.run_status);
}

}  // namespace

int main(int argc, char** argv)
{
    size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1;
    size_t size = mib * 1024 * 1024;
    if (argc > 2)
        read_piece = std::max(1ul, std::strtoul(argv[2], nullptr, 10));
    // The console output of the loop is not what is measured.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    measure("control (plain text)", chunked_reply("<RESPONSE/>\r\n", size), false);
    measure("failing statuses, no MESSAGE", chunked_reply("<RESPONSE STATUS=\"0x0001\"/>", size), false);
    measure("firmware reply, no flash", chunked_reply("<RESPONSE/>\r\n", size), true);
    // The first letter of the confirmation everywhere, and all of it but
    // its last letter: the slowest text for a search of the whole store.
    measure("firmware reply, near misses", chunked_reply("Firmware flash completed successfull ", size), true);
    return 0;
}
