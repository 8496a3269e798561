// HTTP mode's script body with -u and -p: the LOGIN rewrite and the two
// passes, measuring and sending. Input: the user name, a zero byte, the
// password, a zero byte, the script.
#include "fuzz/harness.h"

#include <cstring>

#include <string_view>
#include <utility>
#include <vector>

#include "records/run_context.h"
#include "prepare/login_rewrite.h"
#include "prepare/script_body_pass.h"

namespace {

std::string sent_text;

LinkResult collect(const char* text, const char* /*trace_text*/)
{
    sent_text += text;
    return LinkResult::ok;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_name_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// A LOGIN start tag read the plain way: "<LOGIN", then attributes
// NAME = "value" (or 'value') apart by blanks, then ">". The attributes
// in order and the position after the '>'; false when the tag at `at` is
// not of this form.
struct LoginTag {
    std::vector<std::pair<std::string, std::string>> attributes;
    size_t after = 0;

    const std::string* value(std::string_view name) const
    {
        for (const auto& [key, text] : attributes)
            if (key == name)
                return &text;
        return nullptr;
    }
};

bool read_login_tag(std::string_view line, size_t at, LoginTag& tag)
{
    at += 6;  // "<LOGIN"
    for (;;) {
        size_t blanks = at;
        while (at < line.size() && is_blank(line[at]))
            ++at;
        if (at < line.size() && line[at] == '>') {
            tag.after = at + 1;
            return true;
        }
        size_t name = at;
        while (at < line.size() && is_name_char(line[at]))
            ++at;
        if (at == name || blanks == name)
            return false;
        std::string key(line.substr(name, at - name));
        while (at < line.size() && is_blank(line[at]))
            ++at;
        if (at == line.size() || line[at] != '=')
            return false;
        ++at;
        while (at < line.size() && is_blank(line[at]))
            ++at;
        if (at == line.size() || (line[at] != '"' && line[at] != '\''))
            return false;
        size_t close = line.find(line[at], at + 1);
        if (close == std::string_view::npos)
            return false;
        tag.attributes.emplace_back(key, std::string(line.substr(at + 1, close - at - 1)));
        at = close + 1;
    }
}

// An attribute's text as a reader of the markup gets it: the entity and
// character references replaced by what they stand for. A reference this
// reader does not know is kept as written, which no check below accepts.
std::string read_attribute(std::string_view text)
{
    static const std::pair<std::string_view, char> named[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string value;
    for (size_t at = 0; at < text.size();) {
        bool replaced = false;
        if (text[at] == '&') {
            for (const auto& [reference, c] : named) {
                if (text.substr(at, reference.size()) == reference) {
                    value += c;
                    at += reference.size();
                    replaced = true;
                    break;
                }
            }
            size_t end = text.find(';', at);
            if (!replaced && text.substr(at, 2) == "&#" && end != std::string_view::npos && end > at + 2 &&
                end - at <= 5) {
                int code = 0;
                for (size_t digit = at + 2; digit < end && code >= 0; ++digit)
                    code = text[digit] >= '0' && text[digit] <= '9' ? code * 10 + (text[digit] - '0') : -1;
                if (code > 0 && code < 128) {
                    value += static_cast<char>(code);
                    at = end + 1;
                    replaced = true;
                }
            }
        }
        if (!replaced)
            value += text[at++];
    }
    return value;
}

// The first "<LOGIN" followed by a blank.
size_t login_start(std::string_view line)
{
    for (size_t at = line.find("<LOGIN"); at != std::string_view::npos; at = line.find("<LOGIN", at + 1))
        if (at + 6 < line.size() && is_blank(line[at + 6]))
            return at;
    return std::string_view::npos;
}

// A well-formed LOGIN tag, rewritten, is a well-formed LOGIN tag with the
// override values in place of the script's and everything around it kept.
void check_login_rewrite(std::string_view line, const std::string& user, const std::string& password)
{
    std::string rewritten;
    if (rewrite_login_line(line, user, password, rewritten) != LoginRewrite::rewritten)
        return;
    size_t login = login_start(line);
    LoginTag before;
    if (login == std::string_view::npos || !read_login_tag(line, login, before))
        return;
    const std::string* script_user = before.value("USER_LOGIN");
    const std::string* script_password = before.value("PASSWORD");
    if (script_user == nullptr || script_password == nullptr || before.attributes.size() != 2)
        return;
    std::string shown = "line [" + std::string(line) + "] rewritten [" + rewritten + "]";
    FUZZ_REQUIRE(rewritten.compare(0, login, line.substr(0, login)) == 0, "%s", shown.c_str());
    LoginTag after;
    FUZZ_REQUIRE(read_login_tag(rewritten, login, after), "%s", shown.c_str());
    FUZZ_REQUIRE(after.attributes.size() == 2, "%s", shown.c_str());
    const std::string* new_user = after.value("USER_LOGIN");
    const std::string* new_password = after.value("PASSWORD");
    // The processor reads the override values back exactly, whatever
    // characters they hold; the script's own values are kept as written.
    FUZZ_REQUIRE(new_user && (user.empty() ? *new_user == *script_user : read_attribute(*new_user) == user), "%s",
                 shown.c_str());
    FUZZ_REQUIRE(new_password &&
                     (password.empty() ? *new_password == *script_password : read_attribute(*new_password) == password),
                 "%s", shown.c_str());
    FUZZ_REQUIRE(std::string_view(rewritten).substr(after.after) == line.substr(before.after), "%s", shown.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RunContext& run = harness_new_run().run;
    sent_text.clear();
    FuzzInput input(data, size);
    std::string user = input.take_text();
    std::string password = input.take_text();
    std::string script = input.rest();
    run.settings.user_name = user.c_str();
    run.settings.password = password.c_str();
    run.state.checking_pass = false;
    run.state.processor_generation = ProcessorGeneration::http;

    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find('\n', start);
        std::string_view line(script.data() + start, (end == std::string::npos ? script.size() : end) - start);
        check_login_rewrite(line.substr(0, line.find('\0')), user, password);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }

    script_stream(run, script);
    BodyPlan plan;
    BodyPass measured = script_body_pass_through(run, false, plan, collect);
    FUZZ_REQUIRE(sent_text.empty(), "the measuring pass sent something");
    if (measured != BodyPass::done)
        return 0;
    FUZZ_REQUIRE(plan.length >= 0);
    BodyPass sent = script_body_pass_through(run, true, plan, collect);
    // Both passes went over the same script: the body sent is the body
    // measured, byte for byte in number.
    if (sent == BodyPass::done) {
        FUZZ_REQUIRE(plan.sent == plan.length, "sent %d measured %d", plan.sent, plan.length);
        FUZZ_REQUIRE(sent_text.size() == static_cast<size_t>(plan.length), "%zu bytes sent, %d measured",
                     sent_text.size(), plan.length);
        // Sending again from the same plan sends the same bytes.
        std::string first = std::move(sent_text);
        sent_text.clear();
        BodyPass again = script_body_pass_through(run, true, plan, collect);
        FUZZ_REQUIRE(again == BodyPass::done && sent_text == first);
    }
    return 0;
}
