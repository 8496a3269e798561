// HTTP mode's script body with -u and -p: the LOGIN rewrite and the two
// passes, measuring and sending. Input: the user name, a zero byte, the
// password, a zero byte, the script.
#include "fuzz/harness.h"

#include <cstring>

#include <string_view>

#include "records/run_settings.h"
#include "records/run_state.h"
#include "prepare/login_rewrite.h"
#include "prepare/script_body_pass.h"

namespace {

std::string sent_text;

LinkResult collect(const char* text, const char* /*trace_text*/)
{
    sent_text += text;
    return LinkResult::ok;
}

// The value of the attribute name="..." in a start tag, or npos-marked
// absence: found false.
bool attribute_value(std::string_view tag, std::string_view name, std::string_view& value)
{
    std::string key = " " + std::string(name) + "=\"";
    size_t at = tag.find(key);
    if (at == std::string_view::npos)
        return false;
    size_t start = at + key.size();
    size_t end = tag.find('"', start);
    if (end == std::string_view::npos)
        return false;
    value = tag.substr(start, end - start);
    return true;
}

// A rewritten LOGIN line carries the override values as its attributes.
void check_login_rewrite(std::string_view line, const std::string& user, const std::string& password)
{
    std::string rewritten;
    if (rewrite_login_line(line, user, password, rewritten) != LoginRewrite::rewritten)
        return;
    size_t login = rewritten.find("<LOGIN");
    FUZZ_REQUIRE(login != std::string::npos);
    std::string_view tag(rewritten);
    tag.remove_prefix(login);
    // Values with quotes of their own cannot be told apart from the line's.
    if (user.find('"') != std::string::npos || password.find('"') != std::string::npos)
        return;
    std::string_view value;
    if (!user.empty()) {
        FUZZ_REQUIRE(attribute_value(tag, "USER_LOGIN", value) && value == user,
                     "line [%.*s] rewritten [%s]", static_cast<int>(line.size()), line.data(), rewritten.c_str());
    }
    if (!password.empty()) {
        FUZZ_REQUIRE(attribute_value(tag, "PASSWORD", value) && value == password,
                     "line [%.*s] rewritten [%s]", static_cast<int>(line.size()), line.data(), rewritten.c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    harness_new_run();
    sent_text.clear();
    FuzzInput input(data, size);
    std::string user = input.take_text();
    std::string password = input.take_text();
    std::string script = input.rest();
    settings.user_name = user.c_str();
    settings.password = password.c_str();
    run_state.checking_pass = false;
    run_state.processor_generation = ProcessorGeneration::http;

    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find('\n', start);
        std::string_view line(script.data() + start, (end == std::string::npos ? script.size() : end) - start);
        check_login_rewrite(line.substr(0, line.find('\0')), user, password);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }

    script_stream(script);
    BodyPlan plan;
    BodyPass measured = script_body_pass_through(false, plan, collect);
    FUZZ_REQUIRE(sent_text.empty(), "the measuring pass sent something");
    if (measured != BodyPass::done)
        return 0;
    FUZZ_REQUIRE(plan.length >= 0);
    BodyPass sent = script_body_pass_through(true, plan, collect);
    // Both passes went over the same script: the body sent is the body
    // measured, byte for byte in number.
    if (sent == BodyPass::done) {
        FUZZ_REQUIRE(plan.sent == plan.length, "sent %d measured %d", plan.sent, plan.length);
        FUZZ_REQUIRE(sent_text.size() == static_cast<size_t>(plan.length), "%zu bytes sent, %d measured",
                     sent_text.size(), plan.length);
        // Sending again from the same plan sends the same bytes.
        std::string first = std::move(sent_text);
        sent_text.clear();
        BodyPass again = script_body_pass_through(true, plan, collect);
        FUZZ_REQUIRE(again == BodyPass::done && sent_text == first);
    }
    return 0;
}
