// The boundary of the firmware upload form: a text that the image does not
// hold (as far as a search chunk by chunk can tell).
#pragma once

#include <cstdio>
#include <string>

struct RunContext;

constexpr int BOUNDARY_SEARCH_CHUNK = 2048;

// Starts from "------zqVyo3t<n>z" and lengthens the boundary by "<n>z"
// (n modulo 1000000) each time a 2048-byte chunk of the image holds it.
// Reads image from its current position to its end. next_random gives
// the numbers (0 to 32767). A verbose run shows the boundary on its console.
std::string make_multipart_boundary(RunContext& run, FILE* image, int (*next_random)());

// make_multipart_boundary with the numbers of the C library's generator,
// seeded with the current time.
std::string fresh_multipart_boundary(RunContext& run, FILE* image);
