// The processor's identity: the SHA-256 of its public key (the DER
// SubjectPublicKeyInfo), checked against the known-processors file after
// every handshake and before any byte of the conversation is sent.
//
// The file holds one line per processor, "HOST sha256:BASE64": HOST is the
// server address for port 443 and "address:port" otherwise ("[address]:port"
// for an IPv6 address); BASE64 is the padded base64 of the digest (a line
// without the padding matches too). Blank lines and lines starting with '#'
// are left alone. Host names match in any case.
//
// A field after the fingerprint says what the processor speaks: "tls=modern"
// (it was seen speaking TLS 1.2 or better: a handshake that ends in the
// legacy protocol is a downgrade, refused like a changed key) or
// "tls=legacy" (it speaks only TLS 1.0 with Triple-DES: the run starts with
// that hello). What a processor was seen speaking after its first contact
// is a further line with the same host and key; "tls=modern" on any line
// outweighs "tls=legacy". Readers that know only the first two fields take
// the key from the first line, as before.
#pragma once

#include <openssl/ssl.h>

#include <string>

#include "records/results.h"

struct RunContext;

// What a processor speaks, as far as it is known.
enum class ProcessorProtocol {
    unknown,
    legacy,  // TLS 1.0 with the Triple-DES suites, and nothing better
    modern,  // TLS 1.2 or better
};

// "sha256:BASE64" (padded) of the peer's public key; empty when the peer
// showed no certificate.
std::string peer_key_fingerprint(SSL* tls);
// The HOST of the line for this address and port.
std::string known_processor_host(const char* address, const char* port_text);

// The lines of the known-processors file text that name host: the line
// number (from 1) of the first one and its fingerprint; 0 when none does.
struct KnownLine {
    int number = 0;
    std::string fingerprint;
};
KnownLine find_known_processor(const std::string& content, const std::string& host);
// What the lines of the text that name host say it speaks.
ProcessorProtocol known_protocol(const std::string& content, const std::string& host);
// With a known-processors file set: what it says the run's processor
// speaks (unknown without a file, or when it cannot be read).
ProcessorProtocol known_processor_protocol(RunContext& run);
// Two fingerprints name the same key (with or without base64 padding).
bool same_fingerprint(const std::string& a, const std::string& b);

// With a known-processors file set, once before the first connection: the
// file is fit to be trusted (Flow::go_on); a file that others than its owner
// can change gets a warning on standard error (go_on), or in strict mode is
// refused; a link that leads to nothing is refused (the run status is -1 and
// the run must end: Flow::end_now).
Flow check_known_processors_file(RunContext& run);

// With a known-processors file set: the connection's peer is the known one
// (Flow::go_on, silent), a new one that was recorded (go_on, one line), or
// one that the run refuses (a changed key, an unknown one in strict mode,
// or one known to speak TLS 1.2 or better whose handshake ended in the
// legacy protocol: the run status is 77; a file that cannot be read or
// written: -1); a refusal reports why and the run must end at once
// (Flow::end_now). What the peer was seen speaking is remembered.
Flow check_processor_identity(RunContext& run, SSL* tls);
