#include "prepare/script_body_pass.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "records/secret_attributes.h"
#include "records/run_context.h"
#include "records/results.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/text_tests.h"
#include "link/image_kind.h"
#include "link/link.h"
#include "link/local_image.h"
#include "link/stream_exchange.h"
#include "platform/text_stream.h"
#include "prepare/credential_override.h"
#include "prepare/login_rewrite.h"
#include "prepare/multipart_boundary.h"

namespace {

constexpr std::string_view FIRMWARE_NAME = FIRMWARE_IMAGE.element;
constexpr std::string_view IMAGE_LOCATION = "IMAGE_LOCATION";
constexpr const char* PASSWORD_MASK = "********";

LinkResult send_text(Link& link, const char* text, const char* trace_text)
{
    return trace_text == nullptr ? plain_send(link, text) : plain_send_traced_as(link, text, trace_text);
}

// The script cannot be sent as it is: the run fails (with 1, which the
// driver turns into its early end).
int reject(RunContext& run, Cause cause, std::string detail, int line = 0)
{
    note_cause(run, cause, std::move(detail), line);
    record_failure(run, RunCode::failed_command);
    return -1;
}

// The generated element for the image at path, and its length; -1 when the
// image cannot be opened, is no regular file or is too large to state.
int firmware_element(RunContext& run, FirmwareReference& firmware_reference, bool measuring,
                     std::string& element)
{
    const std::string& path = firmware_reference.firmware_image_path;
    FILE* image = nullptr;
    switch (open_local_image(run, path.c_str(), FIRMWARE_IMAGE, image)) {
    case LocalImage::not_regular:
        return reject(run, Cause::firmware_unopenable, format_text("the firmware image \"%s\" is not a regular file", path.c_str()));
    case LocalImage::not_opened:
        return -1;
    case LocalImage::opened:
        break;
    }
    long image_length = local_image_size(image);
    if (image_length < 0 || image_length > INT32_MAX) {
        console_only(run, "ERROR: Firmware image \"%s\" is too large to send.\r\n", path.c_str());
        std::fclose(image);
        return reject(run, Cause::firmware_unopenable, format_text("the firmware image \"%s\" is too large to send", path.c_str()));
    }
    firmware_reference.firmware_image_length = static_cast<int32_t>(image_length);
    element = image_element(FIRMWARE_IMAGE, path.c_str(), image_length);
    if (measuring)
        firmware_reference.multipart_boundary = fresh_multipart_boundary(run, image);
    std::fclose(image);
    return 0;
}

// An IMAGE_LOCATION attribute as the script checker takes it: the name in
// any case, blanks or tabs around '=', the value in double or single quotes.
struct ImageLocation {
    size_t name = std::string_view::npos;
    size_t value = 0;                          // first character of the value
    size_t value_end = std::string_view::npos;  // its closing quote, npos when none
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool all_blank(std::string_view text)
{
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// Where the firmware element's name first stands on the line outside XML
// comments: npos when no name does, or only one inside a comment (the
// checker never sees that one, and a firmware image commented out is not
// to be sent). in_comment says whether the line starts inside a comment
// and becomes whether the next one does.
size_t firmware_name_outside_comments(std::string_view line, bool& in_comment)
{
    constexpr std::string_view COMMENT_OPEN = "<!--";
    constexpr std::string_view COMMENT_CLOSE = "-->";
    size_t found = std::string_view::npos;
    size_t at = 0;
    while (at < line.size()) {
        if (in_comment) {
            size_t close = line.find(COMMENT_CLOSE, at);
            if (close == std::string_view::npos)
                break;
            in_comment = false;
            at = close + COMMENT_CLOSE.size();
            continue;
        }
        size_t open = line.find(COMMENT_OPEN, at);
        if (found == std::string_view::npos) {
            size_t name = line.substr(0, open).find(FIRMWARE_NAME, at);
            if (name != std::string_view::npos)
                found = name;
        }
        if (open == std::string_view::npos)
            break;
        in_comment = true;
        at = open + COMMENT_OPEN.size();
    }
    return found;
}

// The first IMAGE_LOCATION attribute after the firmware element's name,
// which stands at element on the line (not one of another element before
// it); name is npos when none.
ImageLocation find_image_location(std::string_view line, size_t element)
{
    ImageLocation found;
    if (element == std::string_view::npos)
        return found;
    for (size_t at = element + FIRMWARE_NAME.size(); at + IMAGE_LOCATION.size() <= line.size(); ++at) {
        if (!equal_ignoring_case(line.substr(at, IMAGE_LOCATION.size()), IMAGE_LOCATION))
            continue;
        size_t next = at + IMAGE_LOCATION.size();
        while (next < line.size() && is_blank(line[next]))
            ++next;
        if (next == line.size() || line[next] != '=')
            continue;
        ++next;
        while (next < line.size() && is_blank(line[next]))
            ++next;
        if (next == line.size() || (line[next] != '"' && line[next] != '\''))
            continue;
        found.name = at;
        found.value = next + 1;
        found.value_end = line.find(line[next], found.value);
        return found;
    }
    return found;
}

// Takes the image path out of a firmware reference line; -1 when it is
// rejected.
int take_image_path(RunContext& run, FirmwareReference& firmware_reference, std::string_view line,
                    const ImageLocation& location)
{
    if (location.value_end == std::string_view::npos) {
        console_only(run, "ERROR: Firmware image location \"%.*s has no closing quote.\r\n",
                     static_cast<int>(line.size() - location.value), line.data() + location.value);
        return reject(run, Cause::firmware_unopenable, "the firmware image's location has no closing quote");
    }
    firmware_reference.firmware_image_path.assign(line.substr(location.value, location.value_end - location.value));
    const std::string& path = firmware_reference.firmware_image_path;
    if (path.find(".bin") == std::string::npos) {
        console_only(run, "ERROR: Firmware image \"%s\" is not a \".bin\" file.\r\n", path.c_str());
        return reject(run, Cause::firmware_unopenable, format_text("the firmware image \"%s\" is not a .bin file", path.c_str()));
    }
    return 0;
}

// The text that goes out for a firmware reference line: the generated
// element in place of the script's, with whatever else stands on the line
// kept before and after it. A line that holds nothing but the element (and
// blanks) gives the generated element alone; so does an element that does
// not stand whole on its line, which then takes the whole line's place.
std::string firmware_line_text(std::string_view line, size_t name, const std::string& element)
{
    ImageLocation location = find_image_location(line, name);
    size_t start = 0;
    size_t end = line.size();
    if (name != std::string_view::npos && name > 0 && location.value_end != std::string_view::npos) {
        size_t open = line.find_last_not_of(" \t", name - 1);
        size_t close = line.find("/>", location.value_end + 1);
        if (open != std::string_view::npos && line[open] == '<' && close != std::string_view::npos) {
            start = open;
            end = close + 2;
        }
    }
    std::string_view before = line.substr(0, start);
    std::string_view after = line.substr(end);
    std::string text;
    if (!all_blank(before))
        text.append(before);
    text += element;
    if (!all_blank(after))
        text.append(after).append("\r\n");
    return text;
}

// Prints why an overridden LOGIN line cannot be rewritten; -1.
int refuse_login_line(RunContext& run, LoginRewrite result, int line_number)
{
    if (result == LoginRewrite::no_password)
        console_only(run, "ERROR: The LOGIN element on line %d has no PASSWORD attribute on the same line: "
                    "the command-line credentials cannot take the place of the script's.\r\n",
                    line_number);
    else
        console_only(run, "ERROR: The LOGIN element on line %d does not end on the same line as its PASSWORD attribute: "
                    "the command-line password cannot take the place of the script's.\r\n",
                    line_number);
    return reject(run, Cause::substitution_refused,
                  format_text("line %d: the LOGIN element %s, so the command-line credentials cannot take the place of "
                              "the script's",
                              line_number,
                              result == LoginRewrite::no_password ? "has no PASSWORD attribute on the same line"
                                                                  : "does not end on the same line as its PASSWORD attribute"),
                  line_number);
}

// The line, which starts at offset in the script's text, with the secret
// values that stand on it masked; empty when none does. next is the first
// of the spans (in the order of the text) that may stand on this line or a
// later one.
std::string secret_values_masked(const std::string& line, unsigned long long offset,
                                 const std::vector<SecretSpan>& spans, size_t& next)
{
    while (next < spans.size() && spans[next].end <= offset)
        ++next;
    std::string masked;
    size_t copied = 0;
    for (size_t span = next; span < spans.size() && spans[span].begin < offset + line.size(); ++span) {
        size_t begin = static_cast<size_t>(std::max(spans[span].begin, offset) - offset);
        size_t end = static_cast<size_t>(std::min(spans[span].end, offset + line.size()) - offset);
        masked.append(line, copied, begin - copied).append(MASKED_SECRET);
        copied = end;
    }
    if (!masked.empty())
        masked.append(line, copied);
    return masked;
}

// The body length so far, as the Content-length can state it.
int32_t stated_length(int64_t body_length)
{
    return body_length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(body_length);
}

// The text as the verbose trace shows it: the values of secret attributes
// and the lines of a Kerberos keytab masked. inside carries a keytab from
// one line to the next.
std::string masked_for_trace(const std::string& text, bool& inside)
{
    static constexpr std::string_view BEGIN = "-----BEGIN KEYTAB-----";
    static constexpr std::string_view END = "-----END KEYTAB-----";
    std::string shown;
    size_t at = 0;
    while (at < text.size()) {
        if (!inside) {
            size_t begin = text.find(BEGIN, at);
            if (begin == std::string::npos) {
                shown += text.substr(at);
                break;
            }
            shown += text.substr(at, begin + BEGIN.size() - at);
            at = begin + BEGIN.size();
            inside = true;
            continue;
        }
        size_t end = text.find(END, at);
        // The line end stays, so the trace keeps its lines.
        size_t content_end = end;
        if (end == std::string::npos) {
            size_t last = text.find_last_not_of("\r\n");
            content_end = last == std::string::npos || last < at ? at : last + 1;
        }
        if (content_end > at)
            shown += MASKED_SECRET;
        if (end == std::string::npos) {
            shown += text.substr(content_end);
            break;
        }
        at = end;
        inside = false;
    }
    return mask_secret_attributes(shown);
}

}  // namespace

BodyPass script_body_pass(Link& link, bool send, BodyPlan& plan)
{
    return script_body_pass_through(link.run, send, plan, [&link](const char* text, const char* trace_text) {
        return send_text(link, text, trace_text);
    });
}

// One pass over the script: length gets the body byte count.
static BodyPass body_pass(RunContext& run, bool send, int32_t& length, BodyPlan& plan, const BodySender& sender)
{
    if (send && !run_going(run))
        return BodyPass::skipped;
    std::rewind(run.state.script_input);
    length = 0;
    if (!send)
        plan.firmware_elements.clear();
    size_t elements_sent = 0;
    int64_t body_length = 0;
    int line_number = 1;

    std::string line;
    std::string masked;
    bool in_keytab = false;
    bool in_comment = false;
    unsigned long long line_offset = 0;
    size_t next_span = 0;
    while (text_getline(run.state.script_input, line)) {
        bool line_ends = line.back() == '\n';
        unsigned long long offset = line_offset;
        line_offset += line.size();
        // A line is sent as a C string: a zero byte ends what it holds.
        line.resize(std::strlen(line.c_str()));
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        // The verbose trace shows the line with its secret values and an
        // overriding password masked; empty when the line itself can be
        // shown.
        masked = secret_values_masked(line, offset, plan.secret_spans, next_span);

        if (credentials_given(run.settings)) {
            std::string rewritten;
            LoginRewrite result = rewrite_login_line(line, run.settings.user_name, run.settings.password, rewritten);
            if (result == LoginRewrite::no_password || result == LoginRewrite::no_tag_end)
            {
                length = stated_length(body_length);
                static_cast<void>(refuse_login_line(run, result, line_number));  // it has failed the run
                return BodyPass::rejected;
            }
            if (result == LoginRewrite::rewritten) {
                bool password_given = run.settings.password[0] != '\0';
                if (password_given || !masked.empty()) {
                    std::string shown;
                    rewrite_login_line(masked.empty() ? line : masked, run.settings.user_name,
                                       password_given ? PASSWORD_MASK : "", shown);
                    masked = std::move(shown);
                }
                line = std::move(rewritten);
            }
        }

        std::string text;
        std::string trace;
        ImageLocation location;
        bool comment_before = in_comment;
        size_t firmware_name = firmware_name_outside_comments(line, in_comment);
        if (firmware_name != std::string::npos) {
            plan.firmware.firmware_update_present = true;
            location = find_image_location(line, firmware_name);
        }
        if (location.name != std::string::npos) {
            length = stated_length(body_length);
            if (take_image_path(run, plan.firmware, line, location) != 0)
                return BodyPass::rejected;
            std::string element;
            if (send && elements_sent < plan.firmware_elements.size()) {
                element = plan.firmware_elements[elements_sent];
            } else {
                int made = firmware_element(run, plan.firmware, !send, element);
                if (made != 0)
                    return run_going(run) ? BodyPass::image_unopened : BodyPass::rejected;
                if (!send)
                    plan.firmware_elements.push_back(element);
            }
            ++elements_sent;
            text = firmware_line_text(line, firmware_name, element);
            if (send && !masked.empty())
                trace = firmware_line_text(masked, firmware_name_outside_comments(masked, comment_before), element);
        } else {
            text = line + "\r\n";
            if (send && !masked.empty())
                trace = masked + "\r\n";
        }

        // What the verbose trace shows of a secret is masked.
        if (send && run.settings.verbose)
            trace = masked_for_trace(trace.empty() ? text : trace, in_keytab);

        body_length += static_cast<int64_t>(text.size());
        // A failed send fails the run: the later sends send nothing.
        if (send)
            static_cast<void>(sender(text.c_str(), trace.empty() ? nullptr : trace.c_str()));
        if (line_ends)
            ++line_number;
    }
    if (body_length > INT32_MAX) {
        console_only(run, "ERROR: The script is too long to send.\r\n");
        static_cast<void>(reject(run, Cause::script_not_sendable, "the script is too long to send in one HTTP request"));  // it has failed the run
        return BodyPass::rejected;
    }
    length = stated_length(body_length);
    return BodyPass::done;
}

BodyPass script_body_pass_through(RunContext& run, bool send, BodyPlan& plan, const BodySender& sender)
{
    int32_t length = 0;
    BodyPass result = body_pass(run, send, length, plan, sender);
    (send ? plan.sent : plan.length) = length;
    return result;
}
