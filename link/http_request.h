// The heads of the requests of HTTP mode and the host name they carry.
#pragma once

#include <string>

constexpr int CLIENT_HOST_NAME_SIZE = 256;
// This machine's name, taken when the probe connects.
extern char client_host_name[CLIENT_HOST_NAME_SIZE];

// Takes this machine's name into client_host_name ("localhost" when the
// system does not tell it).
void take_client_host_name();

// The script request head for a body of the given length.
std::string script_request_head(int body_length);
