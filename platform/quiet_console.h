// Standard output sent nowhere for the rest of the run (-q), with the
// console it was kept aside as a stream of its own.
#pragma once

#include <cstdio>

// The console as a binary stream; nullptr (and standard output unchanged)
// when it cannot be kept aside.
FILE* silence_standard_output();
