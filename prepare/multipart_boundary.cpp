#include "prepare/multipart_boundary.h"

#include <cstdlib>
#include <ctime>
#include <string_view>

#include "records/run_context.h"
#include "records/log_output.h"

std::string make_multipart_boundary(RunContext& run, FILE* image, int (*next_random)())
{
    std::string boundary = "------zqVyo3t" + std::to_string(next_random()) + "z";
    char chunk[BOUNDARY_SEARCH_CHUNK];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, image)) > 0) {
        if (std::string_view(chunk, count).find(boundary) == std::string_view::npos)
            continue;
        boundary += std::to_string(next_random() % 1000000) + "z";
        if (run.settings.verbose)
            console_only(run, "Boundary = %s\n", boundary.c_str());
    }
    if (run.settings.verbose)
        console_only(run, "Boundary is %s\n", boundary.c_str());
    return boundary;
}

std::string fresh_multipart_boundary(RunContext& run, FILE* image)
{
    // The boundary's numbers run from 0 to 32767 whatever the C library's
    // own range is.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return make_multipart_boundary(run, image, [] { return std::rand() % 32768; });
}
