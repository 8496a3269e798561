// The heads of the requests of HTTP mode and the host name they carry.
#pragma once

#include <string>

struct Link;

constexpr int CLIENT_HOST_NAME_SIZE = 256;

// Takes this machine's name into the link's client_host_name ("localhost"
// when the system does not tell it).
void take_client_host_name(Link& link);

// The script request head for a body of the given length.
std::string script_request_head(const Link& link, int body_length);
