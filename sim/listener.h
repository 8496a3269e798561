// The listening sockets and the port file.
#pragma once

#include <string>
#include <vector>

// Listens on address:port; returns the socket and the port actually bound,
// or -1 with the reason in `error`.
int open_listener(const std::string& address, int port, int& bound_port, std::string& error);

// Writes the port numbers to `path`, one a line, through a temporary file
// and a rename, so a reader never sees a partial list.
bool write_port_file(const std::string& path, const std::vector<int>& ports);
