// The listening socket and the port file.
#pragma once

#include <string>

// Listens on address:port; returns the socket and the port actually bound,
// or -1 with the reason in `error`.
int open_listener(const std::string& address, int port, int& bound_port, std::string& error);

// Writes the port number to `path` through a temporary file and a rename,
// so a reader never sees a partial number.
bool write_port_file(const std::string& path, int port);

// Waits for the next client; -1 when a stop was requested.
int accept_client(int listener);
