// The firmware upload's reply and the cookie line the follow-up request
// carries. Input: an option byte (bit 0 verbose), the processor's bytes,
// its read sizes.
#include "fuzz/harness.h"

#include <cstring>

#include <string_view>

#include "records/run_context.h"
#include "link/firmware_upload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Link& link = harness_new_run();
    RunContext& run = link.run;
    FuzzInput input(data, size);
    run.settings.verbose = input.take_byte() & 1;
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::http;
    std::string reply = input.rest();
    BytePeer processor(input, link);

    FlashCookie cookie;
    bool read = read_upload_reply(link, cookie);
    FUZZ_REQUIRE(read == (run.state.run_status == 0), "read %d, run status %d", read, run.state.run_status);
    std::string header = cookie.header();
    if (header.empty())
        return 0;
    // One header line, no longer than allowed, taken from the reply: what
    // follows "Set-" on a Set-Cookie line of the cookie, up to its end.
    constexpr std::string_view NAME = "Cookie: MoxclFlash=";
    FUZZ_REQUIRE(!cookie.too_long());
    FUZZ_REQUIRE(header.starts_with(NAME));
    FUZZ_REQUIRE(header.ends_with("\r\n"));
    FUZZ_REQUIRE(header.size() <= FLASH_COOKIE_LINE_LIMIT + 2, "%zu bytes", header.size());
    std::string_view line(header.data(), header.size() - 2);
    FUZZ_REQUIRE(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
    FUZZ_REQUIRE(reply.find("Set-" + std::string(line)) != std::string::npos);
    return 0;
}
