#include "sim_peer.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "records/run_context.h"
#include "link/connection.h"
#include "link/link.h"
#include "sim/peer_link.h"

ByteStep send_step(std::string text)
{
    return {ByteStep::Kind::send, std::move(text)};
}

ByteStep read_until(std::string marker)
{
    return {ByteStep::Kind::read_until, std::move(marker)};
}

ByteStep read_bytes(size_t count)
{
    return {ByteStep::Kind::read_count, "", count};
}

ByteStep close_step()
{
    return {ByteStep::Kind::drop, ""};
}

std::string response_text(const char* status, const char* message, const char* version)
{
    std::string text = "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"";
    text += version;
    text += "\">\r\n<RESPONSE\r\n    STATUS=\"";
    text += status;
    text += "\"\r\n    MESSAGE='";
    text += message;
    text += "'\r\n     />\r\n</MOXCL>\r\n";
    return text;
}

SimPeer::SimPeer(Link& client, std::vector<ByteStep> steps, ProcessorOptions options) : client_(client)
{
    reset_sim_state();
    sim.options.generation = Generation::stream;
    sim.options.connections = options.connections;
    sim.options.reset_newer_hellos = options.reset_newer_hellos;
    // A key of its own would take a fresh RSA key for every test.
    sim.options.cert_file = QUORVEX_LINK_FIXTURES "/rsa-cert.pem";
    sim.options.key_file = QUORVEX_LINK_FIXTURES "/rsa-key.pem";
    sim.options.lowest_tls = options.min_version;
    sim.options.highest_tls = options.max_version;
    if (options.cipher_list != nullptr)
        sim.options.suites = options.cipher_list;
    sim.scenario.byte_steps = std::move(steps);
    sim.keep_served = true;
    if (sim_start(server_) != 0) {
        ADD_FAILURE() << "the processor did not start";
        return;
    }
    std::snprintf(client.run.settings.server_address, sizeof client.run.settings.server_address, "127.0.0.1");
    std::snprintf(client.run.settings.port_text, sizeof client.run.settings.port_text, "%d", server_.port);
    thread_ = std::thread([this] {
        // A client gone before an answer is a failed write here, never the
        // end of the test program.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        sim_serve(server_);
    });
}

SimPeer::~SimPeer()
{
    finish();
}

void SimPeer::finish()
{
    connection_teardown(client_);
    if (thread_.joinable()) {
        // Ends the wait for a client that never came.
        stop_requested = true;
        thread_.join();
        if (!sim.served.empty()) {
            const ServedConnection& served = sim.served.front();
            received = served.received;
            read_sizes = served.read_sizes;
            hello = served.hello;
            negotiated_version = served.tls_version;
            handshake_done = served.handshake_done;
        }
        declined = server_.processors.front()->state.declined;
    }
    sim_close(server_);
}
