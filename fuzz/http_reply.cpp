// HTTP mode's reply: chunk reads, the response store and its rollover, the
// status scan, the flash confirmation after a firmware upload. Input: an
// option byte (bit 0 a firmware upload, bit 1 verbose), the processor's
// bytes, its read sizes. The fuzzing build's response store is small, so
// that inputs of a few KB roll it over.
#include "fuzz/harness.h"

#include "records/results.h"
#include "records/run_context.h"
#include "link/flash_confirmation.h"
#include "link/http_reply.h"
#include "link/response_store.h"
#include "link/status_scan.h"
#include "link/transfer_buffers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Link& link = harness_new_run();
    RunContext& run = link.run;
    FuzzInput input(data, size);
    uint8_t options = input.take_byte();
    bool firmware_upload = options & 1;
    run.settings.verbose = options & 2;
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::http;
    BytePeer processor(input, link);

    Flow flow = reply_read_loop(link, firmware_upload);
    FUZZ_REQUIRE(link.response_store.used <= static_cast<size_t>(RESPONSE_STORE_SIZE));
    FUZZ_REQUIRE(link.response_store.text.get()[RESPONSE_STORE_SIZE] == '\0');
    int failing = status_scan(link);
    // Without a rollover the store holds every byte the scan saw: scanning
    // it whole gives the same verdict.
    if (link.response_store.rollovers == 0)
        FUZZ_REQUIRE(failing == status_scan_text(link.response_store.text.get(), link.response_store.used), "scan %d, whole %d",
                     failing, status_scan_text(link.response_store.text.get(), link.response_store.used));
    bool confirmed = response_store_contains(link.response_store, FLASH_CONFIRMATION.data());
    switch (run.state.run_status) {
    case 0:
        FUZZ_REQUIRE(flow == Flow::go_on);
        if (firmware_upload && link.response_store.rollovers == 0)
            FUZZ_REQUIRE(confirmed, "an upload passed without the flash confirmation");
        break;
    case 8:
        FUZZ_REQUIRE(firmware_upload && flow == Flow::go_on);
        if (link.response_store.rollovers == 0)
            FUZZ_REQUIRE(!confirmed, "a confirmed flash failed");
        break;
    case 3:
        // A failed read ends the run at once; a reply that ended with
        // nothing after its head, or inside a chunk, is judged first.
        FUZZ_REQUIRE(flow == Flow::closing_report ||
                     (flow == Flow::go_on && !firmware_upload &&
                      (!link.http_reply.body_seen || reply_cut_inside_chunk(link))));
        break;
    case 4:
        FUZZ_REQUIRE(flow == Flow::closing_report);
        break;
    default:
        FUZZ_REQUIRE(false, "run status %d", run.state.run_status);
    }
    if (failing != 0)
        record_processor_status(run, failing);
    FUZZ_REQUIRE(documented_run_status(run.state.run_status, failing));
    return 0;
}
