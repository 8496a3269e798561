// Stream mode's response check: reading a response to its end, its status,
// the whole-response display. Input: an option byte (bit 0 verbose, bit 1
// show the next response whole), the processor's bytes, its read sizes.
#include "fuzz/harness.h"

#include <cstring>

#include "records/results.h"
#include "records/run_context.h"
#include "link/stream_exchange.h"
#include "link/transfer_buffers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Link& link = harness_new_run();
    RunContext& run = link.run;
    FuzzInput input(data, size);
    uint8_t options = input.take_byte();
    run.settings.verbose = options & 1;
    if (options & 2)
        show_next_response_whole(link);
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::stream;
    BytePeer processor(input, link);

    // A few responses in a row, as the commands of a script meet them.
    for (int response = 0; response < 4 && run_going(run); ++response) {
        link.transfer_buffer[TRANSFER_BUFFER_SIZE] = 'z';  // the spare byte must come back a terminator
        LinkResult result = response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE);
        FUZZ_REQUIRE(std::memchr(link.transfer_buffer, 0, TRANSFER_BUFFER_SIZE + 1) != nullptr);
        ResponseStatus parsed = parse_response_status(link.transfer_buffer);
        switch (result) {
        case LinkResult::ok:
        case LinkResult::malformed_response:
            FUZZ_REQUIRE(run.state.run_status == 0, "run status %d after %d", run.state.run_status,
                         static_cast<int>(result));
            break;
        case LinkResult::error_status:
            // No failure passes for success, whatever the low bits say.
            FUZZ_REQUIRE(run.state.run_status != 0);
            FUZZ_REQUIRE(run.state.run_status == static_cast<int32_t>(parsed.status));
            break;
        case LinkResult::read_failure:
            FUZZ_REQUIRE(run.state.run_status == 3, "run status %d", run.state.run_status);
            break;
        default:
            FUZZ_REQUIRE(false, "result %d", static_cast<int>(result));
        }
        // A response that passed holds a complete, successful status (a
        // shown response is drained through the buffer: it then holds the
        // last piece shown).
        if (result == LinkResult::ok && !(options & 3))
            FUZZ_REQUIRE(parsed.complete && parsed.status == 0);
    }
    FUZZ_REQUIRE(documented_run_status(run.state.run_status, run.state.run_status));
    FUZZ_REQUIRE(processor.written.empty());
    return 0;
}
