// The processor's certificate against the certificate authorities of
// QUORVEX_CA_FILE (PEM): its chain must lead to one of them, and it must
// name the server address (a host name, or an IP address), after every
// handshake and before any byte of the conversation is sent. Without the
// setting nothing is checked here; the known-processors file pins the key
// either way.
#pragma once

#include <openssl/ssl.h>

#include "records/results.h"

struct RunContext;

// With QUORVEX_CA_FILE set: the context trusts the file's authorities
// (and no others). False when the file cannot be read as PEM certificates.
bool trust_authorities(const RunContext& run, SSL_CTX* context);
// With QUORVEX_CA_FILE set: the connection checks the server address
// against the certificate.
void expect_server_name(const RunContext& run, SSL* tls);
// With QUORVEX_CA_FILE set: the peer's certificate passed (Flow::go_on), or
// the run is refused with words that say what did not match (status 77,
// Flow::end_now).
Flow check_processor_certificate(RunContext& run, SSL* tls);
