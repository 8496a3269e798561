#include "records/run_report.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "records/answer_json.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "records/run_slots.h"
#include "records/secret_attributes.h"

namespace {

using json = nlohmann::ordered_json;

// One answer's text as it was read (stream mode), or a whole reply (HTTP
// mode, command empty).
struct AnswerText {
    std::string command;
    std::string text;
    bool cut = false;
};


}  // namespace

struct ReportGathering {
    bool started = false;
    std::chrono::steady_clock::time_point start;
    std::string start_text;  // ISO 8601, UTC
    const char* version = "";
    json transport;          // null until the probe has spoken
    std::string identity_state;  // "" while no file judged the processor
    std::string identity_fingerprint;
    std::string tls_protocol;  // "" until a handshake is done
    std::string tls_suite;
    std::string pending_command;
    bool tag_opened = false;  // the last token sent was "<", "</" or "<?"
    bool instruction_opened = false;  // it was "<?"
    std::vector<AnswerText> answers;
    bool answer_open = false;
    // Stream mode's answers past the listing's limit: counted, not kept.
    size_t answers_dropped = 0;
    bool dropping_answer = false;
    size_t text_kept = 0;
    bool text_left_out = false;
    std::vector<std::string> secrets;
    std::string error_line;
    bool processor_status = false;
    bool write_mode = false;  // the script holds a command block in write mode
    std::vector<ReportImage> images;
    size_t images_left_out = 0;
    // The head goes to the signal handler's copy too.
    bool signal_report = false;
    // The report's head as the run knows it so far (the signal report's
    // too, without its closing brace).
    std::string head;
};

void ReportGatheringDelete::operator()(ReportGathering* gathering) const
{
    delete gathering;
}

ReportGathering* new_report_gathering()
{
    return new ReportGathering;
}

namespace {

constexpr size_t REASON_LIMIT = 300;
constexpr size_t COMMAND_LIMIT = 128;
constexpr size_t MESSAGE_LIMIT = 1024;
constexpr size_t FILE_NAME_LIMIT = 1024;

// The part of a signal report known before the signal, one per slot
// (records/run_slots.h): written whole before `ready` is set, read by the
// signal handler, which can reach nothing but namespace-scope objects. A
// run with -j has its report armed for signals in its slot.
constexpr size_t SIGNAL_HEAD_SIZE = 1024;
struct SignalHead {
    char text[2][SIGNAL_HEAD_SIZE];
    std::atomic<int> index{0};
    std::atomic<bool> ready{false};
    // The steady clock reads the system's clock and nothing else (no lock,
    // no allocation), on both systems: the handler may read it too.
    // (timespec_get is missing from the Windows C library the program links.)
    std::atomic<long long> start_ticks{0};
};
SignalHead signal_heads[RUN_SLOTS];

SignalHead* signal_head_of(int slot)
{
    return slot >= 0 && slot < RUN_SLOTS ? &signal_heads[slot] : nullptr;
}

// Takes what fits of the limit on the answers' text kept.
size_t room_for(ReportGathering& gathered, size_t length)
{
    size_t room = REPORT_ANSWER_TEXT_LIMIT - gathered.text_kept;
    if (length > room)
        gathered.text_left_out = true;
    return length < room ? length : room;
}

void keep_text(ReportGathering& gathered, std::string& into, const char* data, size_t length)
{
    size_t kept = room_for(gathered, length);
    into.append(data, kept);
    gathered.text_kept += kept;
}

std::string one_line(std::string_view text, size_t limit)
{
    std::string line;
    for (char c : text) {
        if (line.size() >= limit)
            break;
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
        line += c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

void fill_head(RunContext& run)
{
    ReportGathering& gathered = *run.report;
    const RunSettings& settings = run.settings;
    json port = nullptr;
    std::string port_text = settings.port_text;
    // A port is a number when it is one.
    bool digits = !port_text.empty() && port_text.size() <= 5 &&
                  port_text.find_first_not_of("0123456789") == std::string::npos;
    if (digits)
        port = std::stoi(port_text);
    else
        port = port_text;
    json head = {
        {"schema", 2},
        {"program", "quorvex"},
        {"version", gathered.version},
        {"server", settings.server_address},
        {"port", port},
        {"transport", gathered.transport},
        {"started", gathered.start_text},
        {"check_only", settings.check_only},
    };
    if (!gathered.identity_state.empty())
        head["identity"] = {{"state", gathered.identity_state}, {"fingerprint", gathered.identity_fingerprint}};
    if (!gathered.tls_protocol.empty())
        head["tls"] = {{"protocol", gathered.tls_protocol}, {"suite", gathered.tls_suite}};
    std::string text = head.dump(-1, ' ', false, json::error_handler_t::replace);
    text.pop_back();  // the closing brace: the rest follows
    gathered.head = text;
    SignalHead* signal = signal_head_of(run.state.slot);
    if (!gathered.signal_report || signal == nullptr)
        return;
    int next = signal->index ? 0 : 1;
    if (text.size() >= SIGNAL_HEAD_SIZE) {
        signal->ready = false;
        return;
    }
    std::memcpy(signal->text[next], text.c_str(), text.size() + 1);
    signal->index = next;
    signal->ready = true;
}

void mask_text(const ReportGathering& gathered, std::string& text)
{
    mask_texts(text, gathered.secrets);
}

// Replaces every known secret inside the strings of value, and inside the
// names of its members (a processor's element or attribute names).
void mask_secrets(const ReportGathering& gathered, json& value)
{
    if (value.is_string()) {
        mask_text(gathered, value.get_ref<std::string&>());
    } else if (value.is_object()) {
        bool names_hold_secrets = false;
        for (auto& [name, member] : value.items()) {
            mask_secrets(gathered, member);
            for (const std::string& secret : gathered.secrets)
                names_hold_secrets = names_hold_secrets || name.find(secret) != std::string::npos;
        }
        if (!names_hold_secrets)
            return;
        json masked = json::object();
        for (auto& [name, member] : value.items()) {
            std::string key = name;
            mask_text(gathered, key);
            masked[key] = std::move(member);
        }
        value = std::move(masked);
    } else if (value.is_array()) {
        for (auto& item : value)
            mask_secrets(gathered, item);
    }
}

json image_entry(const ReportImage& image)
{
    return {{"kind", image.kind},
            {"file", image.file},
            {"bytes", image.bytes},
            {"sha256", image.sha256.empty() ? json(nullptr) : json(image.sha256)},
            {"seconds", image.seconds}};
}

json answer_entry(const AnswerEntry& answer, const std::string& command, bool with_data)
{
    json message = answer.message;
    if (message.is_string() && message.get_ref<const std::string&>().size() > MESSAGE_LIMIT)
        message = message.get<std::string>().substr(0, MESSAGE_LIMIT);
    json entry = {{"command", nullptr}, {"status", answer.status}, {"message", message}};
    if (!command.empty())
        entry["command"] = command;
    else if (!answer.data_name.empty())
        entry["command"] = answer.data_name;
    entry["data"] = with_data ? answer.data : json(nullptr);
    if (!with_data && !answer.data.is_null())
        entry["data_left_out"] = true;
    entry["complete"] = answer.complete;
    if (!answer.complete)
        entry["problem"] = answer.problem;
    return entry;
}

// An answer whose status fails the run: any but 0, and in HTTP mode 0x003C
// counts as success too.
bool answer_failed(const ReportGathering& gathered, const AnswerEntry& answer)
{
    if (!answer.status.is_number())
        return false;
    long long status = answer.status.get<long long>();
    constexpr long long HTTP_SUCCESS_TOO = 0x3C;
    return status != 0 && !(status == HTTP_SUCCESS_TOO && gathered.transport == "http");
}

json masked(const ReportGathering& gathered, json value)
{
    mask_secrets(gathered, value);
    return value;
}

std::string shown(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The blanks, comma and line end around an entry of an array.
constexpr size_t ENTRY_FRAME = 6;

// The report's text: one member a line, each image and each answer on a
// line of its own, so that it reads well and costs little to write.
std::string laid_out(const json& head, const std::vector<std::string>& images,
                     const std::vector<std::string>& responses)
{
    std::string text = "{\n";
    for (const auto& [name, value] : head.items())
        text += "  " + shown(json(name)) + ": " + shown(value) + ",\n";
    auto array = [&text](const char* name, const std::vector<std::string>& entries, bool last) {
        text += std::string("  \"") + name + "\": [";
        for (size_t i = 0; i < entries.size(); ++i)
            text += (i == 0 ? "\n    " : ",\n    ") + entries[i];
        text += entries.empty() ? "]" : "\n  ]";
        text += last ? "\n" : ",\n";
    };
    array("images", images, false);
    array("responses", responses, true);
    return text + "}\n";
}

// Every answer gathered, in order, as entries.
// An answer of the processor, with the command it answers and, for one
// that may repeat, what identifies its text (else empty).
struct GatheredAnswer {
    AnswerEntry first;
    std::string second;
    std::string repeat_key;
};

// The answers listed (at most REPORT_ANSWER_LIMIT) and how many more there
// were.
struct AllAnswers {
    std::vector<GatheredAnswer> listed;
    size_t left_out = 0;
};

AllAnswers all_answers(const ReportGathering& gathered)
{
    constexpr size_t REPEAT_TEXT_LIMIT = 4096;
    constexpr size_t REPEATS_KEPT = 256;
    std::unordered_map<std::string, std::vector<AnswerEntry>> seen;
    AllAnswers all;
    all.left_out = gathered.answers_dropped;
    for (const AnswerText& text : gathered.answers) {
        // Past the limit the answers are counted: the text is read for them
        // all the same.
        size_t room = REPORT_ANSWER_LIMIT - all.listed.size();
        size_t beyond = 0;
        // Stream mode's answers repeat themselves ("No error" at most check
        // points): an answer met before is not read again.
        std::vector<AnswerEntry> read;
        auto known = text.text.size() <= REPEAT_TEXT_LIMIT ? seen.find(text.text) : seen.end();
        if (known != seen.end() && known->second.size() <= room) {
            read = known->second;
        } else {
            read = read_answers(text.text, room, beyond);
            if (text.text.size() <= REPEAT_TEXT_LIMIT && seen.size() < REPEATS_KEPT && beyond == 0)
                seen.emplace(text.text, read);
        }
        all.left_out += beyond;
        if (read.empty() && !text.command.empty() && beyond == 0) {
            // Stream mode: an answer with no readable response at all.
            if (room == 0) {
                ++all.left_out;
                continue;
            }
            AnswerEntry nothing;
            nothing.complete = false;
            nothing.problem = text.text.empty() ? "no answer" : "no RESPONSE element";
            read.push_back(std::move(nothing));
        }
        if (text.cut && !read.empty() && read.back().complete) {
            read.back().complete = false;
            read.back().problem = "cut short";
        }
        size_t index = 0;
        for (AnswerEntry& entry : read) {
            std::string key;
            if (text.text.size() <= REPEAT_TEXT_LIMIT && !text.cut)
                key = text.command + '\x01' + std::to_string(index++) + '\x01' + text.text;
            all.listed.push_back({std::move(entry), text.command, std::move(key)});
        }
    }
    return all;
}

}  // namespace

void report_start(RunContext& run, const char* program_version, bool signal_report)
{
    ReportGathering& gathered = *run.report;
    gathered = ReportGathering{};
    gathered.started = true;
    gathered.signal_report = signal_report;
    if (SignalHead* signal = signal_head_of(run.state.slot); signal_report && signal != nullptr) {
        signal->ready = false;
        signal->start_ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    }
    gathered.version = program_version;
    gathered.start = std::chrono::steady_clock::now();
        std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm* utc = std::gmtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    gathered.start_text = text;
    if (run.settings.password != nullptr)
        report_secret_value(run, run.settings.password);
    // Those noted before the report began.
    for (const std::string& secret : run.secrets.texts)
        report_secret_value(run, secret);
    fill_head(run);
}

bool report_gathering(RunContext& run)
{
    ReportGathering& gathered = *run.report;
    return gathered.started;
}

void report_transport(RunContext& run, ProcessorGeneration generation)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started)
        return;
    if (generation == ProcessorGeneration::stream)
        gathered.transport = "stream";
    else if (generation == ProcessorGeneration::http)
        gathered.transport = "http";
    fill_head(run);
}

namespace {

int identity_rank(const std::string& state)
{
    if (state.empty())
        return 0;
    if (state == "known")
        return 1;
    if (state == "new")
        return 2;
    return 3;
}

}  // namespace

void report_identity(RunContext& run, const char* state, const std::string& fingerprint)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started || identity_rank(state) <= identity_rank(gathered.identity_state))
        return;
    gathered.identity_state = state;
    gathered.identity_fingerprint = fingerprint.substr(0, 100);
    fill_head(run);
}

void report_tls(RunContext& run, const char* protocol, const char* suite)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started || (gathered.tls_protocol == protocol && gathered.tls_suite == suite))
        return;
    gathered.tls_protocol = std::string(protocol).substr(0, 20);
    gathered.tls_suite = std::string(suite).substr(0, 100);
    fill_head(run);
}

void report_element_sent(RunContext& run, std::string_view name)
{
    ReportGathering& gathered = *run.report;
    if (gathered.started)
        gathered.pending_command = one_line(name, COMMAND_LIMIT);
}

std::string report_current_command(RunContext& run)
{
    ReportGathering& gathered = *run.report;
    return gathered.started ? gathered.pending_command : std::string();
}

void report_token_sent(RunContext& run, const char* token)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started)
        return;
    if (gathered.tag_opened)
        report_element_sent(run, gathered.instruction_opened ? "?" + std::string(token) : std::string(token));
    gathered.instruction_opened = std::strcmp(token, "<?") == 0;
    gathered.tag_opened = std::strcmp(token, "<") == 0 || std::strcmp(token, "</") == 0 || gathered.instruction_opened;
}

std::string quiet_answer_lines(RunContext& run)
{
    ReportGathering& gathered = *run.report;
    std::string lines;
    for (const auto& [answer, command, key] : all_answers(gathered).listed) {
        if (!answer_failed(gathered, answer) && answer.data.is_null())
            continue;
        json entry = answer_entry(answer, command, true);
        mask_secrets(gathered, entry);
        lines += entry.dump(-1, ' ', false, json::error_handler_t::replace) + "\r\n";
        if (lines.size() > REPORT_SIZE_LIMIT)
            break;
    }
    return lines;
}

void report_answer_bytes(RunContext& run, const char* data, size_t length)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started)
        return;
    if (!gathered.answer_open) {
        if (gathered.answers.size() >= REPORT_ANSWER_LIMIT) {
            gathered.text_left_out = true;
            if (!gathered.dropping_answer)
                ++gathered.answers_dropped;
            gathered.dropping_answer = true;
            return;
        }
        gathered.answers.push_back({gathered.pending_command, {}, false});
        gathered.answer_open = true;
    }
    keep_text(gathered, gathered.answers.back().text, data, length);
}

void report_answer_end(RunContext& run, bool cut)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started)
        return;
    if (!gathered.answer_open)
        report_answer_bytes(run, "", 0);
    if (gathered.answer_open)
        gathered.answers.back().cut = cut;
    gathered.answer_open = false;
    gathered.dropping_answer = false;
}

void report_reply_bytes(RunContext& run, const char* data, size_t length)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started)
        return;
    if (gathered.answers.empty() || !gathered.answers.back().command.empty())
        gathered.answers.push_back({});
    keep_text(gathered, gathered.answers.back().text, data, length);
}

void report_secret_value(RunContext& run, std::string_view value)
{
    ReportGathering& gathered = *run.report;
    // A script's value comes with its quotes.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (!gathered.started || value.size() < SHORTEST_MASKED_SECRET ||
        gathered.secrets.size() >= RUN_SECRET_LIMIT)
        return;
    for (const std::string& known : gathered.secrets)
        if (known == value)
            return;
    gathered.secrets.emplace_back(value);
}

void report_error_line(RunContext& run, std::string_view text)
{
    ReportGathering& gathered = *run.report;
    // An error may quote a line of the script, secrets and all.
    if (gathered.started && gathered.error_line.empty())
        gathered.error_line = bounded_words(mask_secret_attributes(text), REASON_LIMIT);
}

void report_processor_status(RunContext& run, int32_t)
{
    ReportGathering& gathered = *run.report;
    if (gathered.started)
        gathered.processor_status = true;
}

void report_write_mode(RunContext& run)
{
    ReportGathering& gathered = *run.report;
    if (gathered.started)
        gathered.write_mode = true;
}

void report_image(RunContext& run, const ReportImage& image)
{
    ReportGathering& gathered = *run.report;
    if (!gathered.started)
        return;
    if (gathered.images.size() >= REPORT_IMAGE_LIMIT) {
        ++gathered.images_left_out;
        return;
    }
    gathered.images.push_back(image);
    if (gathered.images.back().file.size() > FILE_NAME_LIMIT)
        gathered.images.back().file.resize(FILE_NAME_LIMIT);
}

const char* exit_status_meaning(int exit_status, bool processor_status, bool check_only)
{
    if (processor_status && exit_status != 0)
        return exit_meaning(EXIT_PROCESSOR_STATUS);
    if (exit_status == 0 && check_only)
        return "the script's syntax is valid";
    return exit_meaning(exit_status);
}

namespace {

// The first answer that failed with the processor's status: its name (the
// command, else its data element's), its status in hex, its message.
struct FailingAnswer {
    std::string name, status, message;
};

FailingAnswer failing_answer(const ReportGathering& gathered, const std::vector<GatheredAnswer>& answers)
{
    if (!gathered.processor_status)
        return {};
    for (const auto& [answer, command, key] : answers) {
        if (answer_failed(gathered, answer)) {
            char status[16];
            std::snprintf(status, sizeof status, "0x%04llX", answer.status.get<long long>());
            return {!command.empty() ? command : answer.data_name, status,
                    answer.message.is_string() ? answer.message.get<std::string>() : std::string()};
        }
    }
    return {};
}

}  // namespace

std::string report_failing_answer(RunContext& run)
{
    ReportGathering& gathered = *run.report;
    FailingAnswer failing = failing_answer(gathered, all_answers(gathered).listed);
    if (failing.status.empty())
        return {};
    std::string text = (failing.name.empty() ? std::string("a command") : failing.name) + " with status " + failing.status;
    if (!failing.message.empty())
        text += ": \"" + failing.message + "\"";
    return text;
}

std::string render_run_report(RunContext& run, int exit_status, bool check_only)
{
    ReportGathering& gathered = *run.report;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - gathered.start).count();
    AllAnswers gathered_answers = all_answers(gathered);
    const std::vector<GatheredAnswer>& answers = gathered_answers.listed;
    // Answers past the listing's limit, and then those the size limit drops.
    const size_t past_limit = gathered_answers.left_out;

    json report = json::parse(gathered.head + "}", nullptr, false);
    if (report.is_discarded())
        report = json::object();
    report["duration_seconds"] = static_cast<double>(static_cast<long long>(seconds * 1000.0)) / 1000.0;
    report["exit_status"] = exit_status;
    report["exit_meaning"] = exit_status_meaning(exit_status, gathered.processor_status, check_only);
    report["outcome"] = exit_status == 0 ? "succeeded" : "failed";
    report["write_mode"] = gathered.write_mode;
    if (exit_status != 0) {
        std::string reason;
        if (FailingAnswer failing = failing_answer(gathered, answers); !failing.status.empty()) {
            reason = (failing.name.empty() ? std::string("the processor") : failing.name) + " failed with status " +
                     failing.status;
            if (!failing.message.empty())
                reason += ": " + failing.message;
        }
        if (reason.empty())
            reason = gathered.error_line;
        if (reason.empty())
            reason = exit_status_meaning(exit_status, gathered.processor_status, check_only);
        report["reason"] = bounded_words(reason, REASON_LIMIT);
        RunCause cause = final_cause(run, exit_status);
        const CauseRow& row = cause_row(cause.cause);
        json member = {{"code", row.code}, {"meaning", row.meaning}, {"words", cause_words(cause)}, {"stage", row.stage}};
        if (cause.line > 0)
            member["line"] = cause.line;
        if (!cause.system_error.empty())
            member["system_error"] = cause.system_error;
        report["cause"] = std::move(member);
    }
    if (gathered.images_left_out > 0)
        report["images_left_out"] = gathered.images_left_out;
    if (gathered.text_left_out)
        report["answers_text_left_out"] = true;
    if (past_limit > 0)
        report["responses_left_out"] = past_limit;
    mask_secrets(gathered, report);

    std::vector<std::string> images;
    for (const ReportImage& image : gathered.images)
        images.push_back(shown(masked(gathered, image_entry(image))));
    // Whole answers first. Past the size limit their data goes, and the
    // answers that would still pass it go too.
    std::vector<std::string> responses;
    size_t size = laid_out(report, images, responses).size();
    // An answer that repeats an earlier one (same command, same text) is
    // the same line.
    std::unordered_map<std::string, size_t> repeated;
    for (const auto& [answer, command, key] : answers) {
        auto earlier = key.empty() ? repeated.end() : repeated.find(key);
        if (earlier != repeated.end()) {
            responses.push_back(responses[earlier->second]);
        } else {
            responses.push_back(shown(masked(gathered, answer_entry(answer, command, true))));
            if (!key.empty())
                repeated.emplace(key, responses.size() - 1);
        }
        size += responses.back().size() + ENTRY_FRAME;
    }
    if (size <= REPORT_SIZE_LIMIT)
        return laid_out(report, images, responses);
    report["responses_left_out"] = answers.size() + past_limit;
    responses.clear();
    size_t used = laid_out(report, images, responses).size();
    for (const auto& [answer, command, key] : answers) {
        std::string line = shown(masked(gathered, answer_entry(answer, command, false)));
        if (used + line.size() + ENTRY_FRAME > REPORT_SIZE_LIMIT)
            break;
        used += line.size() + ENTRY_FRAME;
        responses.push_back(std::move(line));
    }
    if (size_t left_out = answers.size() - responses.size() + past_limit; left_out > 0)
        report["responses_left_out"] = left_out;
    else
        report.erase("responses_left_out");
    return laid_out(report, images, responses);
}

size_t render_signal_report(int slot, int signal_number, int exit_status, char* out, size_t size)
{
    SignalHead* signal = signal_head_of(slot);
    if (signal == nullptr)
        return 0;
    std::chrono::steady_clock::time_point start{std::chrono::steady_clock::duration(signal->start_ticks.load())};
    long long millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    return render_signal_report_after(slot, millis, signal_number, exit_status, out, size);
}

size_t render_signal_report_after(int slot, long long millis, int signal_number, int exit_status, char* out,
                                  size_t size)
{
    SignalHead* signal = signal_head_of(slot);
    if (signal == nullptr || !signal->ready)
        return 0;
    const char* head = signal->text[signal->index];
    if (millis < 0)
        millis = 0;
    // The row's texts are constants: reading them is signal-safe.
    const CauseRow& interrupted = cause_row(Cause::interrupted);
    // snprintf is not on the list of signal-safe calls; the text is built by hand.
    size_t used = 0;
    auto put = [&](const char* text) {
        size_t length = std::strlen(text);
        if (used + length >= size)
            return false;
        std::memcpy(out + used, text, length);
        used += length;
        return true;
    };
    auto put_number = [&](long long value) {
        char digits[24];
        size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0 && count < sizeof digits);
        char text[24];
        for (size_t i = 0; i < count; ++i)
            text[i] = digits[count - 1 - i];
        text[count] = '\0';
        return put(text);
    };
    bool fits = put(head) && put(",\"duration_seconds\":") && put_number(millis / 1000) &&
                put(".") && put_number(millis / 100 % 10) && put_number(millis / 10 % 10) && put_number(millis % 10) &&
                put(",\"exit_status\":") && put_number(exit_status) &&
                put(",\"exit_meaning\":\"the run was ended by a signal\",\"outcome\":\"failed\",\"reason\":\"ended by signal ") &&
                put_number(signal_number) && put("\",\"cause\":{\"code\":\"interrupted\",\"meaning\":\"") &&
                put(interrupted.meaning) && put("\",\"words\":\"The run was ended by signal ") &&
                put_number(signal_number) && put(". ") && put(interrupted.advice) && put("\",\"stage\":\"") &&
                put(interrupted.stage) && put("\"}") &&
                put(",\"images\":[],\"responses\":[],\"interrupted\":true}\n");
    return fits ? used : 0;
}
