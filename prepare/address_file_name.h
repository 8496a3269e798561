// The files a run names after the processor's address: its log when no -l is
// given, and the working copy that -t writes.
#pragma once

#include <cstddef>

// Copies address into name (size bytes, always terminated, cut to fit) with
// every '/' and '\' turned into '_'. No processor's address holds either;
// kept, they would put the file in another folder, or over another file.
void address_file_name(const char* address, char* name, size_t size);
