// The console's byte mode for the whole run.
#pragma once

// Standard output and standard error write their bytes as they are, for the
// whole run: every message carries its own line ends ("\r\n" mostly), and
// the console shows what the log holds. On Windows this switches the C
// library's text mode off before the first byte (it would make "\r\n" into
// "\r\r\n", and the TLS library switches standard output to binary at its
// first use anyway); elsewhere there is nothing to do.
void use_binary_console();
