// The TLS side of the simulated processor: TLS 1.0 only, the three
// Triple-DES suites (unless a program linking mpsim_core changes them),
// a fresh self-signed certificate unless given one, and a note of what
// each client offered in its hello (in the ClientHello a connection sets as
// its SSL app data).
#pragma once

#include <openssl/ssl.h>
#include <string>

#include "sim/sim_options.h"

// The server context, or null with the reason in `error`.
SSL_CTX* make_server_context(const SimOptions& options, std::string& error);


// "TLSv1.2" for 0x0303, and so on; "0xHHHH" for a version it does not know.
std::string tls_version_name(unsigned int version);
