// The processor's answers read as XML and written as the run report's JSON.
// Input: an option byte (bit 0 stream mode: the bytes are one answer of a
// named command; else an HTTP reply), a byte that places a password of the
// run inside the text, then the processor's bytes. Whatever they are, the
// report parses as JSON, stays within its size limit, holds the run's
// password nowhere, and every value under a secret name is masked; the
// answers as read mask nothing else (a setting about secrets such as
// MIN_PASSWORD shows its value) unless the processor sent the mask itself.
#include "fuzz/harness.h"

#include <string>

#include <nlohmann/json.hpp>

#include "records/answer_json.h"
#include "records/run_report.h"
#include "records/secret_attributes.h"

namespace {

using json = nlohmann::ordered_json;

constexpr const char* PLANTED = "planted-s3cret";

// Every text under a member named like a secret is the mask.
bool masked_below(const json& value)
{
    if (value.is_string())
        return value.get_ref<const std::string&>() == MASKED_SECRET;
    if (value.is_structured()) {
        for (const auto& item : value)
            if (!masked_below(item))
                return false;
    }
    return true;
}

bool secrets_masked(const json& value)
{
    if (value.is_object()) {
        for (const auto& [name, member] : value.items()) {
            if (is_secret_attribute(name) && !masked_below(member))
                return false;
            if (!secrets_masked(member))
                return false;
        }
    } else if (value.is_array()) {
        for (const auto& item : value)
            if (!secrets_masked(item))
                return false;
    }
    return true;
}

// No text outside the members named like secrets is the mask.
bool masked_only_under_secrets(const json& value)
{
    if (value.is_string())
        return value.get_ref<const std::string&>() != MASKED_SECRET;
    if (value.is_object()) {
        for (const auto& [name, member] : value.items())
            if (!is_secret_attribute(name) && !masked_only_under_secrets(member))
                return false;
    } else if (value.is_array()) {
        for (const auto& item : value)
            if (!masked_only_under_secrets(item))
                return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RunContext& run = harness_new_run().run;
    FuzzInput input(data, size);
    uint8_t options = input.take_byte();
    uint8_t place = input.take_byte();
    std::string text = input.rest();
    text.insert(text.size() * place / 256, PLANTED);

    report_start(run, "0.0", false);
    report_secret_value(run, PLANTED);
    if (options & 1) {
        report_transport(run, ProcessorGeneration::stream);
        report_element_sent(run, "GET_ANYTHING");
        report_answer_bytes(run, text.data(), text.size());
        report_answer_end(run, options & 2);
    } else {
        report_transport(run, ProcessorGeneration::http);
        report_reply_bytes(run, text.data(), text.size());
    }
    std::string report = render_run_report(run, options >> 2, false);
    FUZZ_REQUIRE(report.size() <= REPORT_SIZE_LIMIT, "report of %zu bytes", report.size());
    FUZZ_REQUIRE(report.find(PLANTED) == std::string::npos, "the run's password is in the report");
    json parsed = json::parse(report, nullptr, false);
    FUZZ_REQUIRE(!parsed.is_discarded(), "the report is no JSON");
    FUZZ_REQUIRE(secrets_masked(parsed["responses"]), "a secret value is not masked");
    FUZZ_REQUIRE(parsed["exit_status"] == (options >> 2));
    if (text.find(MASKED_SECRET) == std::string::npos) {
        for (const AnswerEntry& answer : read_answers(text, REPORT_ANSWER_LIMIT))
            FUZZ_REQUIRE(masked_only_under_secrets(answer.data), "a value that is no secret is masked");
    }
    return 0;
}
