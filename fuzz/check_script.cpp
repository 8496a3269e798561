// The checking pass over a whole script: lexer, grammar, value checks and
// the local image checks, with no traffic.
#include "fuzz/harness.h"

#include <cstring>

#include "records/results.h"
#include "records/run_context.h"
#include "script/lexer.h"
#include "script/parser.h"
#include "script/script_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Link& link = harness_new_run();
    RunContext& run = link.run;
    FILE* script = script_stream(run, std::string(reinterpret_cast<const char*>(data), size));
    ScriptReader reader(script, link);
    run.state.checking_pass = true;
    ParseResult result = parse_script(reader);
    FUZZ_REQUIRE(result == ParseResult::accepted || result == ParseResult::rejected ||
                 result == ParseResult::input_failed);
    // The checking pass sends nothing, so it fails nothing by itself.
    FUZZ_REQUIRE(run.state.run_status == 0, "run status %d", run.state.run_status);
    FUZZ_REQUIRE(reader.lexer.line_text[LINE_TEXT_MAX] == '\0');
    FUZZ_REQUIRE(reader.lexer.last_token_text[LINE_TEXT_MAX] == '\0');
    return 0;
}
