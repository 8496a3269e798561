// The causes a run can fail with: one row each, with a stable code that
// tools read (the run report's "cause", the fleet's summary, the Ansible
// module), the exit status the run ends with, the stage it failed in and
// the words a person reads. Every way a failed run ends is exactly one of
// them. Adding a cause is adding a row of run_causes.cpp and its line in
// the README's table of causes (a unit test holds the documents to it).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

struct RunContext;

enum class Cause {
    none,
    usage,
    settings_refused,
    outputs_conflict,
    sockets_unavailable,
    log_unopenable,
    script_unopenable,
    script_unreadable,
    script_syntax,
    script_value,
    script_not_sendable,
    substitution_refused,
    known_processors_file,
    connect_unresolved,
    connect_refused,
    connect_timeout,
    connect_failed,
    tls_context,
    tls_handshake,
    tls_no_common_protocol,
    tls_downgrade,
    tls_untrusted,
    tls_name_mismatch,
    identity_changed,
    identity_unknown,
    identity_no_certificate,
    probe_failed,
    processor_status,
    processor_closed,
    processor_silent,
    reply_too_long,
    http_refused,
    http_cookie_too_long,
    send_failed,
    send_timeout,
    firmware_not_confirmed,
    firmware_unopenable,
    image_unreadable,
    image_rejected,
    image_incomplete,
    image_not_written,
    command_failed,
    log_unwritable,
    report_unwritable,
    interrupted,
    run_unusable,
};

// The exit status of a cause that is not one number.
constexpr int EXIT_PROCESSOR_STATUS = -2;  // the processor's status (its low 8 bits)
constexpr int EXIT_SIGNAL = -3;            // 128 + the signal's number

struct CauseRow {
    Cause cause;
    const char* code;     // stable: "connect.refused"
    int exit_status;      // 0 to 255, or one of the two above
    const char* stage;    // usage, check, log, identity, connect, tls, probe, send, reply, image, signal
    const char* meaning;  // what happened, for the documents and a cause without particulars
    const char* advice;   // what to do
};

std::span<const CauseRow> cause_rows();
const CauseRow& cause_row(Cause cause);
// The row of a code, or nullptr.
const CauseRow* cause_by_code(std::string_view code);
// The exit status as the README's tables write it: "255", "other", "128+N".
std::string exit_status_text(int exit_status);

// The exit statuses a run ends with, each with its meaning: the README's
// exit table in short, the report's "exit_meaning". Every cause's exit
// status has its row; a status without one (0x0105 gives 5) is the
// processor's, or 128 + a signal's number.
struct ExitRow {
    int exit_status;      // 0 to 255
    const char* meaning;
};
std::span<const ExitRow> exit_rows();
// The meaning of exit status 0 to 255 (EXIT_PROCESSOR_STATUS's row for a
// status of none of the rows, EXIT_SIGNAL's for 129 to 159).
const char* exit_meaning(int exit_status);
// Whether the status is one the exit table names (a processor's status
// aside).
bool exit_status_listed(int exit_status);

// Why the run failed, as far as it is known so far.
struct RunCause {
    Cause cause = Cause::none;
    std::string detail;        // what happened, with its particulars; "" for the row's meaning
    int line = 0;              // the script's line, 0 when none applies
    std::string system_error;  // the system's name of its error ("ECONNREFUSED"), "" when none
};

// Notes the cause of a failure with its particulars. The first one noted
// stays: the first failure ends the conversation.
void note_cause(RunContext& run, Cause cause, std::string detail, int line = 0, std::string system_error = {});
// Replaces the cause noted so far with one that says more about it (an
// image the processor refused, after its error status): the particulars
// noted before follow the new detail.
void refine_cause(RunContext& run, Cause cause, std::string detail);

// The cause a run that ends with exit_status (0 to 255) ends with: the one
// noted when it agrees with the exit status, else the exit status's own
// cause; none for a success.
RunCause final_cause(const RunContext& run, int exit_status);
// The words of a cause: what happened, with its particulars, then what to
// do; one line, bounded.
std::string cause_words(const RunCause& cause);
// The line standard error ends a failed run with.
std::string cause_line(const char* program_name, const RunCause& cause);

// The text on one line (line ends and tabs as blanks) in at most limit
// bytes, cut between words (then ending in "...").
std::string bounded_words(std::string_view text, size_t limit);
constexpr size_t CAUSE_WORDS_LIMIT = 600;
