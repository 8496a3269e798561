// mpsim: a management processor simulator for trying the utility on
// loopback. It plays either processor generation over TLS 1.0.
#include <cstdio>
#include <signal.h>
#include <vector>

#include "sim/listener.h"
#include "sim/peer_link.h"
#include "sim/sim_server.h"
#include "sim/sim_state.h"

namespace {

void on_stop_signal(int)
{
    stop_requested = true;
}

void install_signals()
{
    struct sigaction action{};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a blocked read returns and sees the request
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The line a script waits for, one per processor, and the port file.
bool announce(const SimServer& server)
{
    const std::string& address = sim.options.listen_address;
    bool bracket = address.find(':') != std::string::npos;
    std::vector<int> ports;
    for (const auto& processor : server.processors) {
        std::printf("mpsim listening on %s%s%s:%d\n", bracket ? "[" : "", address.c_str(),
                    bracket ? "]" : "", processor->port);
        ports.push_back(processor->port);
    }
    std::fflush(stdout);
    if (!sim.options.port_file.empty() && !write_port_file(sim.options.port_file, ports)) {
        std::fprintf(stderr, "mpsim: cannot write %s\n", sim.options.port_file.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    sim.options.key_store = default_key_store();
    int parsed = parse_sim_options(argc, argv, sim.options, error);
    if (parsed == 1) {
        std::fputs(sim_usage_text, stdout);
        return 0;
    }
    if (parsed != 0) {
        std::fprintf(stderr, "mpsim: %s\n%s", error.c_str(), sim_usage_text);
        return 2;
    }
    install_signals();
    SimServer server;
    int status = sim_start(server);
    if (status != 0)
        return status;
    if (announce(server))
        sim_serve(server);
    else
        status = 1;
    sim_close(server);
    return status;
}
