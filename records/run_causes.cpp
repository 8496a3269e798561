#include "records/run_causes.h"

#include <algorithm>
#include <array>

#include "records/run_context.h"

namespace {

constexpr int UNUSABLE = 255;

// clang-format off
constexpr std::array CAUSES = {
    CauseRow{Cause::usage, "usage", 64, "usage",
             "the command line could not be understood; nothing ran",
             "Correct the command line: quorvex --help shows its form."},
    CauseRow{Cause::settings_refused, "settings.refused", UNUSABLE, "usage",
             "a value of the command line or the environment cannot be used (the server's name, QUORVEX_TIMEOUT, the -t pairs, the password file)",
             "Correct the value the message before this line names."},
    CauseRow{Cause::outputs_conflict, "outputs.conflict", UNUSABLE, "usage",
             "the log or the report is the script, its working copy or the other output",
             "Give the log and the report names of their own."},
    CauseRow{Cause::sockets_unavailable, "sockets.unavailable", UNUSABLE, "usage",
             "the system's sockets could not be started",
             "Check the system's network setup."},
    CauseRow{Cause::log_unopenable, "log.unopenable", UNUSABLE, "log",
             "the log file given with -l cannot be opened",
             "Give a log file in a folder that exists and that you may write to."},
    CauseRow{Cause::script_unopenable, "script.unopenable", UNUSABLE, "check",
             "the script cannot be opened",
             "Check the name given with -f and that you may read the file."},
    CauseRow{Cause::script_unreadable, "script.unreadable", 2, "check",
             "the script could not be read to its end",
             "Check the file given with -f and the disk it is on."},
    CauseRow{Cause::script_syntax, "script.syntax", UNUSABLE, "check",
             "the script is not valid: a line does not follow the command language",
             "Correct the script at the line named; quorvex -c checks it without a processor."},
    CauseRow{Cause::script_value, "script.value", UNUSABLE, "check",
             "a value in the script is not one the command allows",
             "Correct the value at the line named; quorvex -c checks it without a processor."},
    CauseRow{Cause::script_not_sendable, "script.not-sendable", UNUSABLE, "check",
             "the script cannot go out as it is (a CDATA section to a processor of the stream transport, or a script too long for one request); nothing was sent",
             "Change the script as the words say: write a CDATA section's text as attribute values, split a long script."},
    CauseRow{Cause::substitution_refused, "substitution.refused", UNUSABLE, "check",
             "HTTP mode: the LOGIN line cannot take the -u or -p values; nothing was sent",
             "Write the LOGIN tag, its PASSWORD attribute and its '>' on one line."},
    CauseRow{Cause::known_processors_file, "identity.file", UNUSABLE, "identity",
             "the known-processors file cannot be used (a link to nothing, others may change it in strict mode, or it cannot be read or written); nothing was sent",
             "Repair the file QUORVEX_KNOWN_PROCESSORS names, as the message says."},
    CauseRow{Cause::connect_unresolved, "connect.unresolved", UNUSABLE, "connect",
             "the processor's name does not resolve to an address",
             "Check the name's spelling and the name service (DNS), or give the address."},
    CauseRow{Cause::connect_refused, "connect.refused", UNUSABLE, "connect",
             "the processor's address refused the connection",
             "Check that the processor is on and that the port is its management port."},
    CauseRow{Cause::connect_timeout, "connect.timeout", UNUSABLE, "connect",
             "the processor did not accept the connection within the time limit",
             "Check the network path to the processor (a firewall may drop it), or give it more time with QUORVEX_TIMEOUT."},
    CauseRow{Cause::connect_failed, "connect.failed", UNUSABLE, "connect",
             "the connection to the processor could not be made",
             "Check the network path to the processor (route, cable, address)."},
    CauseRow{Cause::tls_context, "tls.context", 1, "tls",
             "the TLS library could not be set up",
             "Check the installation of quorvex and of its TLS library."},
    CauseRow{Cause::tls_handshake, "tls.handshake", UNUSABLE, "tls",
             "the processor did not complete the TLS handshake",
             "Check that the port is the processor's management port and that it speaks TLS."},
    CauseRow{Cause::tls_no_common_protocol, "tls.no-common-protocol", UNUSABLE, "tls",
             "the processor and quorvex have no TLS version or cipher in common",
             "Update the processor's firmware, or allow the protocol it speaks."},
    CauseRow{Cause::tls_downgrade, "tls.downgrade", UNUSABLE, "tls",
             "the processor offered an older protocol than it had spoken before; refused as a possible downgrade",
             "Check the network path for an interceptor before allowing the older protocol."},
    CauseRow{Cause::tls_untrusted, "tls.untrusted", UNUSABLE, "tls",
             "the processor's certificate is not signed by a trusted authority",
             "Give the authority that signed it, or check that this is the processor you meant."},
    CauseRow{Cause::tls_name_mismatch, "tls.name-mismatch", UNUSABLE, "tls",
             "the processor's certificate is not made out to the name it was reached by",
             "Reach the processor by the name its certificate gives, or renew its certificate."},
    CauseRow{Cause::identity_changed, "identity.changed", 77, "identity",
             "the processor's key differs from the one the known-processors file records; nothing was sent",
             "If the new key is right, remove or edit its line in the known-processors file."},
    CauseRow{Cause::identity_unknown, "identity.unknown", 77, "identity",
             "strict mode: the known-processors file holds no line for the processor; nothing was sent",
             "Add the processor's line to the known-processors file once its key is checked."},
    CauseRow{Cause::identity_no_certificate, "identity.no-certificate", 77, "identity",
             "the processor showed no certificate, so its identity cannot be checked; nothing was sent",
             "Check that this is the processor you meant and that it has a certificate."},
    CauseRow{Cause::probe_failed, "probe.failed", UNUSABLE, "probe",
             "the processor did not answer the transport probe",
             "Check that the port is the processor's management port and that the processor is not busy, then try again."},
    CauseRow{Cause::processor_status, "processor.status", EXIT_PROCESSOR_STATUS, "reply",
             "the processor reported an error status for a command",
             "Read the processor's message; correct the command or the processor's state."},
    CauseRow{Cause::processor_closed, "processor.closed", 3, "reply",
             "the connection broke or closed before the processor's reply was whole",
             "Check the processor (it may have restarted) and the network, then run the script again."},
    CauseRow{Cause::processor_silent, "processor.silent", 3, "reply",
             "the processor sent nothing for the time limit",
             "Check the processor; give it more time with QUORVEX_TIMEOUT when its work is long."},
    CauseRow{Cause::reply_too_long, "reply.too-long", 3, "reply",
             "a reply of the processor passed 64 MiB without its end",
             "Check the processor's firmware; split the script's reading commands."},
    CauseRow{Cause::http_refused, "http.refused", 4, "reply",
             "HTTP mode: the processor refused the request (a reply other than HTTP/1.1 200 OK)",
             "Check the script's size and the processor's web server, then try again."},
    CauseRow{Cause::http_cookie_too_long, "http.cookie-too-long", 4, "reply",
             "HTTP mode: the firmware upload's reply carried a cookie line longer than 4096 characters",
             "Check the processor's firmware; the update was not confirmed."},
    CauseRow{Cause::send_failed, "send.failed", 6, "send",
             "sending on the connection failed",
             "Check the processor (it may have restarted) and the network, then run the script again."},
    CauseRow{Cause::send_timeout, "send.timeout", 6, "send",
             "the processor took no data for the time limit",
             "Check the processor; give it more time with QUORVEX_TIMEOUT when its work is long."},
    CauseRow{Cause::firmware_not_confirmed, "firmware.not-confirmed", 8, "reply",
             "HTTP mode: the processor's replies never confirmed the firmware flash",
             "Check the processor's firmware version before running the update again."},
    CauseRow{Cause::firmware_unopenable, "firmware.unopenable", UNUSABLE, "image",
             "HTTP mode: the firmware image is not a .bin file or cannot be opened; nothing of the upload was sent",
             "Check the image's name in the script and that you may read the file."},
    CauseRow{Cause::image_unreadable, "image.unreadable", 1, "image",
             "an image file the script names cannot be sent: not a regular file, not readable, empty or too large",
             "Check the image's name in the script, the file and its size."},
    CauseRow{Cause::image_rejected, "image.rejected", EXIT_PROCESSOR_STATUS, "image",
             "the processor refused an image the script sends",
             "Read the processor's words about it: the image may be for another processor or firmware."},
    CauseRow{Cause::image_incomplete, "image.incomplete", 1, "image",
             "a virtual floppy image the processor sends did not arrive whole",
             "Run the script again; check the processor's virtual media."},
    CauseRow{Cause::image_not_written, "image.not-written", 1, "image",
             "a received virtual floppy image could not be written to its file",
             "Check the folder of the image's file, its rights and the free space."},
    CauseRow{Cause::command_failed, "command.failed", 1, "reply",
             "stream mode: the run stopped on a failed command",
             "Read the lines before this one for the command and its reason."},
    CauseRow{Cause::log_unwritable, "log.unwritable", 74, "log",
             "the run succeeded but its log could not be written whole",
             "Check the log's folder, its rights and the free space on its disk; the processor did what the script says."},
    CauseRow{Cause::report_unwritable, "report.unwritable", 74, "log",
             "the run succeeded but its report (-j) could not be written",
             "Check the report's folder, its rights and the free space on its disk; the processor did what the script says."},
    CauseRow{Cause::interrupted, "interrupted", EXIT_SIGNAL, "signal",
             "the run was ended by a signal",
             "Run the script again; read the log for what was done."},
    CauseRow{Cause::run_unusable, "run.unusable", UNUSABLE, "usage",
             "the run could not be started or carried out",
             "Read the lines before this one for the reason."},
};

// The order of the README's exit table.
constexpr std::array EXITS = {
    ExitRow{0, "the script succeeded"},
    ExitRow{UNUSABLE, "the command line, the log file or the script could not be used, the script is invalid, "
                      "or the processor could not be reached or did not answer the transport probe"},
    ExitRow{1, "stream mode: the run stopped on a failed command"},
    ExitRow{2, "the script could not be read"},
    ExitRow{3, "the connection broke or went silent while reading a reply, or a reply passed its limit"},
    ExitRow{4, "HTTP mode: the processor refused the request"},
    ExitRow{6, "sending on the connection failed"},
    ExitRow{8, "HTTP mode: a firmware update whose replies never confirmed the flash"},
    ExitRow{64, "a usage error: the command line could not be understood, nothing ran"},
    ExitRow{74, "the run succeeded, but its log or report could not be written whole"},
    ExitRow{77, "the processor's key is not the one known for it; nothing was sent"},
    ExitRow{EXIT_PROCESSOR_STATUS, "the processor's error status for a command"},
    ExitRow{EXIT_SIGNAL, "the run was ended by a signal"},
};
// clang-format on

// The cause of an exit status when none more particular was noted.
Cause exit_status_cause(int exit_status)
{
    switch (exit_status) {
    case 1:
        return Cause::command_failed;
    case 2:
        return Cause::script_unreadable;
    case 3:
        return Cause::processor_closed;
    case 4:
        return Cause::http_refused;
    case 6:
        return Cause::send_failed;
    case 8:
        return Cause::firmware_not_confirmed;
    case 64:
        return Cause::usage;
    case 74:
        return Cause::log_unwritable;
    case 77:
        return Cause::identity_changed;
    case UNUSABLE:
        return Cause::run_unusable;
    default:
        return exit_status > 128 && exit_status < 160 ? Cause::interrupted : Cause::processor_status;
    }
}

bool agrees(const CauseRow& row, int exit_status)
{
    if (row.exit_status == EXIT_PROCESSOR_STATUS)
        return exit_status != 0;
    if (row.exit_status == EXIT_SIGNAL)
        return exit_status > 128;
    return row.exit_status == exit_status;
}

}  // namespace

std::span<const CauseRow> cause_rows()
{
    return CAUSES;
}

const CauseRow& cause_row(Cause cause)
{
    for (const CauseRow& row : CAUSES)
        if (row.cause == cause)
            return row;
    return CAUSES.back();
}

const CauseRow* cause_by_code(std::string_view code)
{
    for (const CauseRow& row : CAUSES)
        if (code == row.code)
            return &row;
    return nullptr;
}

std::span<const ExitRow> exit_rows()
{
    return EXITS;
}

bool exit_status_listed(int exit_status)
{
    return std::any_of(EXITS.begin(), EXITS.end(), [&](const ExitRow& row) { return row.exit_status == exit_status; });
}

const char* exit_meaning(int exit_status)
{
    int row_status = exit_status > 128 && exit_status < 160 ? EXIT_SIGNAL : EXIT_PROCESSOR_STATUS;
    if (exit_status_listed(exit_status))
        row_status = exit_status;
    for (const ExitRow& row : EXITS)
        if (row.exit_status == row_status)
            return row.meaning;
    return "";
}

std::string exit_status_text(int exit_status)
{
    if (exit_status == EXIT_PROCESSOR_STATUS)
        return "other";
    if (exit_status == EXIT_SIGNAL)
        return "128+N";
    return std::to_string(exit_status);
}

void note_cause(RunContext& run, Cause cause, std::string detail, int line, std::string system_error)
{
    RunCause& noted = run.state.cause;
    if (noted.cause != Cause::none)
        return;
    noted = RunCause{cause, std::move(detail), line, std::move(system_error)};
}

void refine_cause(RunContext& run, Cause cause, std::string detail)
{
    RunCause& noted = run.state.cause;
    if (!noted.detail.empty())
        detail += ": " + noted.detail;
    noted.cause = cause;
    noted.detail = std::move(detail);
}

RunCause final_cause(const RunContext& run, int exit_status)
{
    if (exit_status == 0)
        return {};
    const RunCause& noted = run.state.cause;
    if (noted.cause != Cause::none && agrees(cause_row(noted.cause), exit_status))
        return noted;
    return RunCause{exit_status_cause(exit_status), {}, 0, {}};
}

std::string bounded_words(std::string_view text, size_t limit)
{
    std::string line;
    for (char c : text)
        line += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    if (line.size() <= limit)
        return line;
    constexpr std::string_view MORE = " ...";
    size_t room = limit > MORE.size() ? limit - MORE.size() : 0;
    // Cut at the last blank that leaves room for the mark; a text with no
    // blank there is cut before a byte that starts a character.
    size_t cut = line.rfind(' ', room);
    if (cut == std::string::npos || cut == 0) {
        cut = room;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
    }
    line.resize(cut);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line + std::string(MORE);
}

std::string cause_words(const RunCause& cause)
{
    const CauseRow& row = cause_row(cause.cause);
    std::string what = cause.detail.empty() ? row.meaning : cause.detail;
    while (!what.empty() && (what.back() == '\n' || what.back() == '\r' || what.back() == ' '))
        what.pop_back();
    if (!what.empty() && what.back() != '.')
        what += '.';
    if (!what.empty())
        what[0] = static_cast<char>(what[0] >= 'a' && what[0] <= 'z' ? what[0] - 'a' + 'A' : what[0]);
    // The advice always shows: the particulars give way.
    std::string advice = row.advice;
    size_t room = CAUSE_WORDS_LIMIT > advice.size() + 1 ? CAUSE_WORDS_LIMIT - advice.size() - 1 : 0;
    return bounded_words(what, room) + " " + advice;
}

std::string cause_line(const char* program_name, const RunCause& cause)
{
    return std::string(program_name) + ": " + cause_row(cause.cause).code + ": " + cause_words(cause) + "\n";
}
