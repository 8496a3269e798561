// The run report: the facts of one run gathered while it goes (through the
// small hooks below, called where the run judges answers and moves images)
// and written as JSON at its end (-j FILE). Its layout is
// docs/run-report.schema.json; README "Run report" describes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "records/results.h"

struct RunContext;

// A report never grows past this many bytes, whatever the processor sent:
// the answers' text is kept up to REPORT_ANSWER_TEXT_LIMIT, at most
// REPORT_ANSWER_LIMIT answers and REPORT_IMAGE_LIMIT images are listed
// (messages cut at 1024 bytes, file names at 1024, reasons at 300), and a
// rendering that would still pass the limit leaves the answers' data out,
// and then the answers that do not fit, and says so.
constexpr size_t REPORT_SIZE_LIMIT = 8u << 20;
constexpr size_t REPORT_ANSWER_TEXT_LIMIT = 2u << 20;
constexpr size_t REPORT_ANSWER_LIMIT = 10000;
constexpr size_t REPORT_IMAGE_LIMIT = 100;

// Starts gathering: the run's start time, its server and port (from the
// run settings). Nothing is gathered before this call. With signal_report
// the run's head is also kept where a signal handler reads it.
void report_start(RunContext& run, const char* program_version, bool signal_report);
bool report_gathering(RunContext& run);

// The transport the probe found.
void report_transport(RunContext& run, ProcessorGeneration generation);
// The processor's identity as the known-processors file judged it, after
// a handshake: "known", "new" (recorded on first contact), or a refusal
// ("changed", "unknown" in strict mode, "no_certificate"). Of several
// connections of one run, a refusal outranks "new", which outranks "known".
void report_identity(RunContext& run, const char* state, const std::string& fingerprint);
// The TLS protocol and suite the last handshake agreed on.
void report_tls(RunContext& run, const char* protocol, const char* suite);
// Stream mode: an element name that went to the processor; the next answer
// read is taken as this element's.
void report_element_sent(RunContext& run, std::string_view name);
// Stream mode: the element the answer read next belongs to, "" when the
// report is not gathered.
std::string report_current_command(RunContext& run);
// Stream mode: a token that went to the processor; the one after "<" or
// "</" is an element name.
void report_token_sent(RunContext& run, const char* token);
// Stream mode: bytes of the answer being read, then its end (cut: the
// connection broke or it was malformed).
void report_answer_bytes(RunContext& run, const char* data, size_t length);
void report_answer_end(RunContext& run, bool cut);
// HTTP mode: data of the reply (several answers one after another).
void report_reply_bytes(RunContext& run, const char* data, size_t length);
// A value that must not appear in the report (a password the run used).
void report_secret_value(RunContext& run, std::string_view value);
// The first error line of the run (console and log), the reason of a failure.
void report_error_line(RunContext& run, std::string_view text);
// An error status the processor reported became the run status.
void report_processor_status(RunContext& run, int32_t status);
// The checking pass met a command block whose MODE is write: what a tool
// that drives the utility counts as a change.
void report_write_mode(RunContext& run);
// An image that went to or came from the processor.
struct ReportImage {
    const char* kind;      // "firmware", "floppy_insert", "floppy_copy"
    std::string file;
    unsigned long long bytes;
    std::string sha256;    // lower-case hex, "" when unknown
    double seconds;
};
void report_image(RunContext& run, const ReportImage& image);

// The report as JSON text (at most REPORT_SIZE_LIMIT bytes) for the
// process's exit status.
// The first answer of the run that failed with the processor's status, as
// the words of a cause say it: its name, its status, its message in quotes
// ("SET_ITEM with status 0x005F: \"Bad value\""); "" when the report
// holds none (nothing gathered, or no answer failed).
std::string report_failing_answer(RunContext& run);
std::string render_run_report(RunContext& run, int exit_status, bool check_only);

// Signal-safe: the short report of the run of slot (RunState::slot) ended
// by signal_number, into out (size bytes); its length, 0 when it does not
// fit or gathering has not started. It holds the run's settings, start,
// duration and transport, no answers and no images.
size_t render_signal_report(int slot, int signal_number, int exit_status, char* out, size_t size);
// The same for a run that has lasted millis milliseconds.
size_t render_signal_report_after(int slot, long long millis, int signal_number, int exit_status, char* out,
                                  size_t size);

// What the README's exit table says about a status.
const char* exit_status_meaning(int exit_status, bool processor_status, bool check_only);

// Under -q in HTTP mode: the answers a person needs (those that failed or
// carry data), one line each with their data as JSON, for the console.
std::string quiet_answer_lines(RunContext& run);

