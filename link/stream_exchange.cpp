#include "link/stream_exchange.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "records/console_gate.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_report.h"
#include "records/run_context.h"
#include "records/run_secrets.h"
#include "records/results.h"
#include "records/text_tests.h"
#include "link/link.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "platform/winsock.h"

void show_next_response_whole(Link& link)
{
    link.show_whole_response = true;
}

static const char MASKED_TEXT[] = "\"********\"";

// Writes text with one write. The verbose trace shows trace in place of
// the text when given; a masked send is traced even when nothing was
// written.
static LinkResult send_text(Link& link, const char* text, const char* trace, bool masked)
{
    if (!run_going(link.run))
        return LinkResult::skipped;

    int length = static_cast<int>(std::strlen(text));
    int written = length > 0 ? tls_write(link, text, length) : 0;
    if (written < 0)
        return report_write_failure(link);
    if (link.run.settings.verbose && (masked || written != 0))
        log_info(link.run, "Sending (%d):\r\n%s\r\n", written, trace != nullptr ? trace : text);
    return LinkResult::ok;
}

LinkResult plain_send(Link& link, const char* text)
{
    return send_text(link, text, nullptr, false);
}

LinkResult plain_send_traced_as(Link& link, const char* text, const char* trace_text)
{
    return send_text(link, text, trace_text, false);
}

// Tag ends and closing tags are followed by a line break, everything else by
// a blank.
static char token_separator(const char* token)
{
    return token[0] == '>' || token[0] == '/' ? '\n' : ' ';
}

static LinkResult send_token(Link& link, const char* token, bool masked)
{
    char (&transfer_buffer)[TRANSFER_BUFFER_SIZE + 1] = link.transfer_buffer;
    if (link.run.state.checking_pass)
        return LinkResult::ok;
    report_token_sent(link.run, token);

    char separator = token_separator(token);
    size_t length = std::strlen(token);
    if (length + 2 <= sizeof transfer_buffer) {
        std::memmove(transfer_buffer, token, length);
        transfer_buffer[length] = separator;
        transfer_buffer[length + 1] = '\0';
        return send_text(link, transfer_buffer, masked ? MASKED_TEXT : nullptr, masked);
    }
    // Text blocks can be longer than the transfer buffer: they go out whole.
    std::string long_token(token, length);
    long_token += separator;
    return send_text(link, long_token.c_str(), masked ? MASKED_TEXT : nullptr, masked);
}

LinkResult token_send(Link& link, const char* token)
{
    return send_token(link, token, false);
}

LinkResult masked_token_send(Link& link, const char* token)
{
    return send_token(link, token, true);
}

// The two layouts of a response: the root start tag closed as an empty
// element, or as an ordinary start tag. Each records what it took. `hex`
// is the letter of the status value's prefix, "0x" or "0X".
static void scan_response(const char* text, bool empty_root, char hex, ResponseStatus& result)
{
    int major = 0;
    int minor = 0;
    unsigned long long status = 0;
    char message[4096];
    char format[160];
    std::snprintf(format, sizeof format,
                  "<?xml version=\"%%*f\"?> < MOXCL VERSION = \" %%d.%%d  \" %s "
                  "< RESPONSE STATUS = \" 0%c%%llx \" MESSAGE = ' %%4095[^'\n] ' ",
                  empty_root ? "/>" : ">", hex);
    int taken = std::sscanf(text, format, &major, &minor, &status, message);
    if (taken >= 1) {
        result.major_taken = true;
        result.major = static_cast<unsigned>(major);
    }
    if (taken >= 2) {
        result.version_taken = true;
        result.minor = static_cast<unsigned>(minor);
    }
    if (taken >= 3) {
        result.status_taken = true;
        // A status too large for its 32 bits is a failing one all the same;
        // cut to them it could read as 0, a success.
        result.status = status > STATUS_MAX ? STATUS_OUT_OF_RANGE : static_cast<unsigned>(status);
    }
    if (taken == 4 && hex == 'x')
        result.complete = true;
}

ResponseStatus parse_response_status(const char* text)
{
    ResponseStatus result;
    scan_response(text, true, 'x', result);
    scan_response(text, false, 'x', result);
    // A status written with "0X" is read too, so that an error it reports
    // is not lost; such a response never counts as a complete one.
    if (!result.status_taken) {
        scan_response(text, true, 'X', result);
        scan_response(text, false, 'X', result);
    }
    return result;
}

// One read into buffer, terminated after the bytes read; the count, or 0 or
// less when the read failed.
static int read_once(Link& link, char* buffer, int size)
{
    std::memset(buffer, 0, size);
    int count = tls_read(link, buffer, size);
    buffer[count > 0 ? count : 0] = '\0';
    return count;
}

static constexpr char ROOT_END_TAG[] = "</MOXCL>";
static constexpr char SHORT_END_TAG[] = "<END_MOXCL/>";
// Enough of the text before a read to find an end tag cut by that read.
constexpr size_t END_TAG_CARRY = sizeof SHORT_END_TAG - 2;

static bool holds_end_tag(std::string_view text)
{
    return holds(text, ROOT_END_TAG) || holds(text, SHORT_END_TAG);
}

// The MOXCL root's start tag in an answer: not found yet, left open (closed
// with ">", so that "</MOXCL>" is to come, or not closed yet), or written as
// an empty element ("/>"); `end` is where the tag ends.
enum class RootForm { not_found, open, empty };
struct RootTag {
    RootForm form = RootForm::not_found;
    size_t end = 0;
};

static RootTag find_root(std::string_view text)
{
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        size_t name = at + 1;
        while (name < text.size() && is_markup_space(text[name]))
            ++name;
        if (text.compare(name, 5, "MOXCL") != 0)
            continue;
        size_t after = name + 5;
        if (after < text.size() && !is_markup_space(text[after]) && text[after] != '>' && text[after] != '/')
            continue;
        size_t close = text.find('>', after);
        if (close == std::string_view::npos)
            return {RootForm::open, text.size()};
        return {text[close - 1] == '/' ? RootForm::empty : RootForm::open, close + 1};
    }
    return {};
}

// What follows a root written as an empty element, when no end marker is
// in it: the answer goes on while nothing but blanks came yet (its RESPONSE
// element is still to come) or while its last tag is cut short (a part of
// the RESPONSE element, of a data element or of the marker).
static bool empty_root_cut(std::string_view after_root)
{
    if (after_root.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return true;
    size_t last_tag = after_root.rfind('<');
    return last_tag != std::string_view::npos && after_root.find('>', last_tag) == std::string_view::npos;
}

// Whether the text is an answer's start that has not reached its root yet:
// a part of the declaration or of the root's name, or the declaration with
// no root after it so far. Written in pieces, an answer is read on rather
// than judged on its first piece.
static bool root_not_reached(std::string_view text)
{
    constexpr std::string_view DECLARATION = "<?xml";
    constexpr std::string_view ROOT = "<MOXCL";
    if (text.size() < DECLARATION.size() && DECLARATION.starts_with(text))
        return true;
    if (text.size() < ROOT.size() && ROOT.starts_with(text))
        return true;
    if (!text.starts_with(DECLARATION))
        return false;
    size_t declaration_end = text.find("?>");
    if (declaration_end == std::string_view::npos)
        return true;
    std::string_view rest = text.substr(declaration_end + 2);
    size_t first = rest.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return true;  // the declaration alone so far
    rest = rest.substr(first);
    return rest.size() < ROOT.size() && ROOT.starts_with(rest);  // a part of the root's name
}

// A response is read to its end before the script goes on: one whose text
// holds neither end tag is unfinished while it fills the whole buffer,
// while its root is open or not reached yet, and, for a root written as an
// empty element, while its last part is cut short or while this processor
// ends such answers with the marker.
static bool response_unfinished(const Link& link, std::string_view text, int size)
{
    if (holds_end_tag(text))
        return false;
    if (text.size() >= static_cast<size_t>(size))
        return true;
    RootTag root = find_root(text);
    switch (root.form) {
    case RootForm::open:
        return true;
    case RootForm::empty:
        return link.empty_root_ends.with_marker || empty_root_cut(text.substr(root.end));
    case RootForm::not_found:
        break;
    }
    return root_not_reached(text);
}

// What an answer read to its end (text, or the last reads of it) says of
// how this processor ends an answer whose root is an empty element.
static void note_answer_end(Link& link, RootForm form, std::string_view text)
{
    EmptyRootEnds& ends = link.empty_root_ends;
    if (form != RootForm::empty)
        return;
    bool marker = holds(text, SHORT_END_TAG);
    ends.with_marker = ends.with_marker || marker;
    ends.marker_may_follow = !ends.with_marker;
}

// The first read of an answer. The line end that closed the previous
// answer may come after its end tag, in a write of its own: it belongs to
// that answer, so blanks before this one's first '<' are passed over, and a
// read that held nothing else is followed by the next. So is the end marker
// of an answer whose root is an empty element when that answer was taken
// before the marker came (see EmptyRootEnds); a part of the marker so far
// is read on.
static int read_answer_start(Link& link, char* buffer, int size)
{
    constexpr std::string_view MARKER = SHORT_END_TAG;
    bool marker_may_follow = link.empty_root_ends.marker_may_follow;
    link.empty_root_ends.marker_may_follow = false;
    long long passed_over = 0;
    int count = 0;
    for (;;) {
        int more = tls_read(link, buffer + count, size - count);
        if (more <= 0)
            return more;
        count += more;
        buffer[count] = '\0';
        std::string_view text(buffer, static_cast<size_t>(count));
        size_t start = std::min(text.find_first_not_of(" \t\r\n"), text.size());
        if (marker_may_follow && start < text.size()) {
            std::string_view rest = text.substr(start);
            if (rest.size() < MARKER.size() && MARKER.starts_with(rest) && count < size)
                continue;
            marker_may_follow = false;
            if (rest.starts_with(MARKER)) {
                link.empty_root_ends.with_marker = true;
                start += MARKER.size();
                start = std::min(text.find_first_not_of(" \t\r\n", start), text.size());
            }
        }
        if (start > 0) {
            int kept = count - static_cast<int>(start);
            std::memmove(buffer, buffer + start, static_cast<size_t>(kept));
            std::memset(buffer + kept, 0, start);
            count = kept;
            passed_over += static_cast<long long>(start);
        }
        if (count > 0)
            return count;
        if (passed_over > REPLY_BYTE_LIMIT)
            return -1;
    }
}

// What a shown response held back of its last read (the start of a
// secret, maybe) is shown at its end, before what ends it is said.
static void show_rest(Link& link, EchoMask* echo)
{
    std::string rest = echo != nullptr ? echo->rest() : std::string();
    if (!rest.empty())
        log_plain(link.run, "%s", rest.c_str());
}

// Reads the rest of a response that is not whole in buffer, up to the read
// that holds an end tag; an end tag cut between two reads counts too. A
// shown response (echo given: the mask of what it showed so far) has each
// read shown, and only its root's own end ends it: the closing root tag, or
// the marker after a root written as an empty element; otherwise the reads
// go to a scratch buffer and either end tag ends them.
static LinkResult read_to_end(Link& link, char* buffer, int size, EchoMask* echo, RootForm form)
{
    bool shown = echo != nullptr;
    const char* shown_end = form == RootForm::empty ? SHORT_END_TAG : ROOT_END_TAG;
    std::string_view before(buffer);
    std::string carry(before.substr(before.size() > END_TAG_CARRY ? before.size() - END_TAG_CARRY : 0));
    char scratch[TRANSFER_BUFFER_SIZE + 1];
    char* into = shown ? buffer : scratch;
    int room = shown ? size : TRANSFER_BUFFER_SIZE;
    long long total = static_cast<long long>(before.size());
    for (;;) {
        int count = read_once(link, into, room);
        if (count <= 0) {
            show_rest(link, echo);
            return report_read_failure(link);
        }
        if (!reply_within_limit(link, total, count)) {
            show_rest(link, echo);
            return LinkResult::read_failure;
        }
        report_answer_bytes(link.run, into, static_cast<size_t>(count));
        if (shown)
            log_plain(link.run, "%s", echo->shown(link.run, into).c_str());
        std::string window = carry;
        window.append(into, static_cast<size_t>(count));
        if (shown ? holds(window, shown_end) : holds_end_tag(window)) {
            show_rest(link, echo);
            note_answer_end(link, form, window);
            return LinkResult::ok;
        }
        carry = window.substr(window.size() > END_TAG_CARRY ? window.size() - END_TAG_CARRY : 0);
    }
}

static LinkResult read_and_judge(Link& link, char* buffer, int size);

// Whether a response holds an element after its RESPONSE element (a GET
// command's data) rather than only the root's end.
static bool carries_data(std::string_view text)
{
    size_t response = text.find("<RESPONSE");
    size_t tag_end = response == std::string_view::npos ? response : text.find('>', response);
    size_t next = tag_end == std::string_view::npos ? tag_end : text.find('<', tag_end);
    if (next == std::string_view::npos)
        return false;
    std::string_view rest = text.substr(next + 1);
    return !rest.starts_with("/MOXCL") && !rest.starts_with("/RESPONSE") && !rest.starts_with("END_MOXCL");
}

LinkResult response_check(Link& link, char* buffer, int size)
{
    // Nothing to read: the buffer is left holding no text. Zeroing all of it
    // at every check point took a few per cent of a whole checking pass.
    if (link.run.state.checking_pass || link.run.state.processor_generation != ProcessorGeneration::stream) {
        buffer[0] = '\0';
        return LinkResult::ok;
    }
    std::memset(buffer, 0, size);
    if (!run_going(link.run))
        return LinkResult::skipped;
    LinkResult result = read_and_judge(link, buffer, size);
    report_answer_end(link.run, result == LinkResult::read_failure || result == LinkResult::malformed_response);
    return result;
}

// The MESSAGE attribute of the answer in text, "" when it has none.
static std::string answer_message(std::string_view text)
{
    constexpr size_t MESSAGE_WORDS_LIMIT = 300;
    size_t at = text.find("MESSAGE");
    while (at != std::string_view::npos) {
        size_t next = text.find_first_not_of(" \t\r\n", at + 7);
        if (next != std::string_view::npos && text[next] == '=') {
            size_t quote = text.find_first_not_of(" \t\r\n", next + 1);
            if (quote == std::string_view::npos || (text[quote] != '"' && text[quote] != '\''))
                return {};
            size_t end = text.find(text[quote], quote + 1);
            std::string_view message = text.substr(quote + 1, end == std::string_view::npos ? end : end - quote - 1);
            return std::string(message.substr(0, MESSAGE_WORDS_LIMIT));
        }
        at = text.find("MESSAGE", at + 7);
    }
    return {};
}

// The processor's error status, its command and its message as the cause
// of the failure.
static void note_processor_status(RunContext& run, unsigned status, const char* answer)
{
    std::string command = report_current_command(run);
    std::string message = mask_run_secrets(run, answer_message(answer));
    note_cause(run, Cause::processor_status,
               format_text("the processor at %s:%s answered %s with status 0x%04X%s%s%s", run.settings.server_address,
                           run.settings.port_text, command.empty() ? "a command" : command.c_str(), status, message.empty() ? "" : ": \"", message.c_str(),
                           message.empty() ? "" : "\""));
}

// The response read to its end and judged; what was read goes to the run
// report. An answer that carries data reaches a quiet console.
static LinkResult read_and_judge(Link& link, char* buffer, int size)
{
    bool& show_whole_response = link.show_whole_response;
    std::optional<ConsolePass> wanted;
    int count = read_answer_start(link, buffer, size);
    if (count <= 0)
        return report_read_failure(link);
    bool shown = link.run.settings.verbose || show_whole_response;
    // A response that came in pieces is put together as far as the buffer
    // goes; a connection lost on the way is reported after the response. A
    // successful response that is shown is drained read by read instead.
    bool lost = false;
    ResponseStatus parsed = parse_response_status(buffer);
    while (!(shown && parsed.complete && parsed.status == 0) && count < size &&
           response_unfinished(link, std::string_view(buffer, count), size)) {
        int more = tls_read(link, buffer + count, size - count);
        if (more <= 0) {
            lost = true;
            break;
        }
        count += more;
        buffer[count] = '\0';
        parsed = parse_response_status(buffer);
    }
    report_answer_bytes(link.run, buffer, static_cast<size_t>(count));
    if (show_whole_response && carries_data(std::string_view(buffer, count)))
        wanted.emplace(link.run.console);
    int length = static_cast<int>(std::strlen(buffer));
    bool unfinished = !lost && response_unfinished(link, std::string_view(buffer, count), size);
    RootForm form = find_root(std::string_view(buffer, count)).form;
    note_answer_end(link, form, std::string_view(buffer, count));

    if (parsed.major_taken)
        link.response_version.major = parsed.major;
    if (parsed.version_taken)
        link.response_version.minor = parsed.minor;

    // Any error status that can be read fails the run, whatever follows it.
    if (parsed.status_taken && parsed.status != 0) {
        ConsolePass error_answer(link.run.console);
        log_info(link.run, "Response received from the MOX: (%d):\r\n%s\r\n", length,
                 mask_run_secrets(link.run, buffer).c_str());
        note_processor_status(link.run, parsed.status, buffer);
        record_processor_status(link.run, static_cast<int32_t>(parsed.status));
        return LinkResult::error_status;
    }
    if (!parsed.complete) {
        log_error(link.run, "Malformed MOX response: (%d):\r\n%s\r\n", length,
                  mask_run_secrets(link.run, buffer).c_str());
        if (lost)
            return report_read_failure(link);
        if (unfinished && read_to_end(link, buffer, size, nullptr, form) != LinkResult::ok)
            return LinkResult::read_failure;
        // The run goes on.
        return LinkResult::malformed_response;
    }
    if (shown) {
        if (!holds_end_tag(std::string_view(buffer, count))) {
            EchoMask echo;
            log_plain(link.run, "%s", echo.shown(link.run, buffer).c_str());
            show_whole_response = false;
            if (unfinished && !lost)
                return read_to_end(link, buffer, size, &echo, form);
            show_rest(link, &echo);
            return lost ? report_read_failure(link) : LinkResult::ok;
        }
        show_whole_response = false;
        log_info(link.run, "Receiving (%d):\r\n%s\r\n", length, mask_run_secrets(link.run, buffer).c_str());
        return LinkResult::ok;
    }
    if (lost)
        return report_read_failure(link);
    if (unfinished)
        return read_to_end(link, buffer, size, nullptr, form);
    return LinkResult::ok;
}
