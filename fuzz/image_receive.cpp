// Stream mode's virtual floppy copy: the length field, the image that
// follows, the pending copy and its file. Input: the processor's bytes
// (length fields and images), its read sizes.
#include "fuzz/harness.h"

#include <cstring>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "records/results.h"
#include "records/run_context.h"
#include "link/image_transfer.h"
#include "link/transfer_buffers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Link& link = harness_new_run();
    RunContext& run = link.run;
    FuzzInput input(data, size);
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::stream;
    BytePeer processor(input, link);
    std::remove("copy-1.img");
    std::remove("copy-2.img");

    // Two copies: the second writes the first one's file before it takes
    // its place.
    std::string expected[2];
    for (int copy = 0; copy < 2 && run_going(run); ++copy) {
        const char* location = copy == 0 ? "copy-1.img" : "copy-2.img";
        LinkResult result = floppy_image_copy(link, location);
        FUZZ_REQUIRE(link.pending_copy.image.size() <= static_cast<size_t>(IMAGE_BUFFER_SIZE));
        if (result == LinkResult::ok && (link.transfer_flags & TRANSFER_FLOPPY_COPY_PENDING)) {
            FUZZ_REQUIRE(std::strcmp(link.pending_copy.destination, location) == 0);
            expected[copy].assign(link.pending_copy.image.begin(), link.pending_copy.image.end());
        }
    }
    if (floppy_copy_flush(link) != LinkResult::ok)
        return 0;
    // Every copy that was received whole is in its own file, exactly.
    for (int copy = 0; copy < 2; ++copy) {
        if (expected[copy].empty())
            continue;
        std::ifstream in(copy == 0 ? "copy-1.img" : "copy-2.img", std::ios::binary);
        std::string written(std::istreambuf_iterator<char>(in), {});
        FUZZ_REQUIRE(written == expected[copy], "copy %d: %zu bytes written, %zu received", copy + 1, written.size(),
                     expected[copy].size());
    }
    FUZZ_REQUIRE(documented_run_status(run.state.run_status, 0));
    return 0;
}
