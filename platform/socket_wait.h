// Bounded waits on a socket: a connect that gets no answer, and a read or a
// write that moves no byte, end after a time limit instead of hanging.
#pragma once

struct sockaddr;

// connect() that waits at most `milliseconds` for the peer (0: no limit).
// 0 when connected; -1 otherwise, with the socket layer's last error set
// (ETIMEDOUT when the time ran out).
int connect_bounded(int socket_handle, const sockaddr* address, unsigned address_length, int milliseconds);

// From now on every read or write on the socket that moves no byte for
// `milliseconds` fails (0: no limit).
void bound_socket_waits(int socket_handle, int milliseconds);

// True when the socket call that failed last did so because its time ran out.
bool last_wait_timed_out();

// Makes the socket layer's last error read as a time-out.
void set_wait_timed_out();
