#include "driver/run.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <cstring>

#include "driver/command_line.h"
#include "driver/program_version.h"
#include "driver/report_output.h"
#include "driver/run_files.h"
#include "records/console_gate.h"
#include "records/run_report.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "records/run_context.h"
#include "records/run_limits.h"
#include "records/run_secrets.h"
#include "records/results.h"
#include "link/connection.h"
#include "link/firmware_upload.h"
#include "link/http_probe.h"
#include "link/http_reply.h"
#include "link/http_request.h"
#include "link/image_transfer.h"
#include "link/link.h"
#include "link/processor_identity.h"
#include "link/stream_exchange.h"
#include "link/tls_io.h"
#include "link/transfer_buffers.h"
#include "platform/console_mode.h"
#include "platform/exit_cleanup.h"
#include "platform/file_kind.h"
#include "platform/private_file.h"
#include "platform/system_error_name.h"
#include "platform/winsock.h"
#include "prepare/multipart_boundary.h"
#include "prepare/script_body_pass.h"
#include "prepare/substitution.h"
#include "script/lexer.h"
#include "script/parser.h"
#include "script/script_reader.h"

namespace {

constexpr const char* PROGRAM_VERSION = QUORVEX_VERSION;
constexpr const char* PROGRAM_DATE = "3/27/2015";
constexpr unsigned long CLOSING_PAUSE_MS = 1000;

void print_banner(RunContext& run)
{
    console_only(run, "\r\nZQ Torvane Configuration Utility- QUORVEX v. %s dated %s\r\n", PROGRAM_VERSION, PROGRAM_DATE);
    console_only(run, "(C) Copyright 2015-2026 ZQ Torvane. Provided as is, without warranty of any kind.\r\n\r\n");
}

// Opens name for reading and writing, created (owner-only) or emptied. A
// name the user gave (-l) is taken as it is; the default name is never
// followed through a link, which anyone who can write to the folder could
// have put there.
FILE* open_log_file(RunContext& run, const char* name, bool given)
{
    FILE* file = open_log_output(name, given);
    if (file)
        run.state.log_name = name;
    return file;
}

// Closes the log. A write that failed on the way (a full disk) is reported
// once on standard error and remembered for the exit status.
void close_log(RunContext& run)
{
    FILE* log = run.state.log_stream;
    run.state.log_stream = nullptr;
    if (log == nullptr || log == run.console.out)
        return;
    errno = 0;
    bool written = fflush(log) == 0 && !ferror(log);
    int error = errno;
    if (fclose(log) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        error_only(run, "%s: ERROR: The log file \"%s\" could not be written whole: %s\n", run.settings.program_name,
                   run.state.log_name.c_str(), error != 0 ? strerror(error) : "a write failed");
        const char* name = error != 0 ? system_error_name(error) : nullptr;
        note_cause(run, Cause::log_unwritable,
                   format_text("the log file \"%s\" could not be written whole: %s%s%s%s", run.state.log_name.c_str(),
                               error != 0 ? strerror(error) : "a write failed", name ? " (" : "", name ? name : "",
                               name ? ")" : ""),
                   0, name ? name : "");
        run.state.log_lost = true;
    }
}

// The log: the -l file, standard output for a check, else a file named after
// the server, falling back to standard output when it cannot be created.
// False when the -l file cannot be opened.
bool open_log_stream(RunContext& run)
{
    if (run.settings.log_file_given) {
        run.state.log_stream = open_log_file(run, run.settings.log_file_name, true);
        if (!run.state.log_stream) {
            int error = errno;
            console_only(run, "Cannot open log file \"%s\"\r\n", run.settings.log_file_name);
            error_only(run, "%s\n", strerror(error));
            const char* name = system_error_name(error);
            note_cause(run, Cause::log_unopenable,
                       format_text("the log file \"%s\" cannot be opened: %s%s%s%s", run.settings.log_file_name,
                                   strerror(error), name ? " (" : "", name ? name : "", name ? ")" : ""),
                       0, name ? name : "");
            return false;
        }
        return true;
    }
    if (run.settings.check_only) {
        run.state.log_stream = run.console.out;
        return true;
    }
    std::string name = default_log_name(run);
    FILE* file = name.empty() ? nullptr : open_log_file(run, name.c_str(), false);
    if (!name.empty() && !file) {
        int error = errno;
        error_only(run, "Cannot open the log file \"%s\": %s; the log goes to the console\n", name.c_str(),
                   error == ELOOP ? "it is a link" : strerror(error));
    }
    run.state.log_stream = file ? file : run.console.out;
    return true;
}

// The script, or its working copy. end_now with the exit status in the run
// status when there is none to open (64: no -f, a usage fault) or it cannot
// be opened (-1).
Flow open_script_input(RunContext& run)
{
    if (!run.settings.input_file_name) {
        log_error(run, "Input file name was not specified.\r\n");
        note_cause(run, Cause::usage, "no script was given: give it with -f");
        print_usage(run);
        record_failure(run, RunCode::usage_error);
        return Flow::end_now;
    }
    const char* name = run.settings.use_working_copy ? run.settings.working_copy_name : run.settings.input_file_name;
    // The working copy may be deleted while it is read (Ctrl-C).
    run.state.script_input = run.settings.use_working_copy ? open_private_file(name) : fopen(name, "rb");
    if (run.state.script_input)
        return Flow::go_on;
    int error = errno;
    const char* error_name = system_error_name(error);
    note_cause(run, Cause::script_unopenable,
               format_text("the script \"%s\" cannot be opened: %s%s%s%s", name, strerror(error),
                           error_name ? " (" : "", error_name ? error_name : "", error_name ? ")" : ""),
               0, error_name ? error_name : "");
    if (run.settings.use_working_copy)
        log_error(run, "Cannot open Variable Substituted input file \"%s\". Exiting.\r\n", name);
    else
        log_error(run, "Cannot open input file \"%s\". Exiting.\r\n", name);
    close_log(run);
    record_failure(run, RunCode::unusable);
    return Flow::end_now;
}

void note_script_unreadable(RunContext& run)
{
    note_cause(run, Cause::script_unreadable,
               format_text("the script \"%s\" could not be read to its end", run.settings.input_file_name));
}

// The checking pass refused the script: its syntax or a value, as noted;
// a file it names that cannot be sent, or what else stopped the check, is
// said as the script's fault all the same.
void note_script_refused(RunContext& run)
{
    Cause noted = run.state.cause.cause;
    if (noted == Cause::script_syntax || noted == Cause::script_value)
        return;
    refine_cause(run, Cause::script_value, "the script cannot be carried out as it is");
}

// A script run without -t that holds placeholders goes out as written (it
// may be meant so), but the run says so once, naming them.
void say_placeholders_left(RunContext& run)
{
    // A pipe or a terminal would be used up by the scan: the checking pass
    // must have it whole.
    if (run.settings.use_working_copy || run.variables.var_count != 0 ||
        !readable_at_once(run.settings.input_file_name))
        return;
    PlaceholderScan scan;
    char piece[65536];
    size_t length;
    while ((length = fread(piece, 1, sizeof piece, run.state.script_input)) > 0)
        scan.scan(piece, length);
    // Read again from the start by the checking pass.
    clearerr(run.state.script_input);
    rewind(run.state.script_input);
    if (!scan.names().empty())
        log_info(run, "The script holds placeholders and no -t was given; they go out as written: %s\r\n",
                 scan.names().c_str());
}

void log_server_address(RunContext& run)
{
    if (run.settings.verbose)
        console_only(run, "IP Address is: %s\r\n", run.settings.server_address);
    log_only(run, "IP Address is: %s\r\n", run.settings.server_address);
}

// The processor's command language takes the wrapper line from version
// 2.20 on; major and minor are compared each by itself (3.10 does not).
constexpr unsigned WRAPPER_MAJOR = 2;
constexpr unsigned WRAPPER_MINOR = 20;

// Stream mode: declaration, the wrapper line for newer command languages,
// then the script parsed again with every token going to the processor.
// The reader is the one of the checking pass: it knows where the script's
// first CDATA section is.
Flow run_stream_mode(ScriptReader& reader)
{
    Link& link = reader.link;
    RunContext& run = link.run;
    // An older processor would never receive a CDATA section's text: the
    // script is not sent at all rather than changed on the way.
    if (reader.lexer.first_cdata_line >= 0) {
        log_error(run, "Line #%d: this processor takes the script in stream mode, which cannot send the text of a "
                  "CDATA section; nothing was sent.\r\n",
                  reader.lexer.first_cdata_line);
        // (Counted from 0 on the console, from 1 here.)
        int line_number = reader.lexer.first_cdata_line + 1;
        note_cause(run, Cause::script_not_sendable,
                   format_text("line %d: this processor takes the script in stream mode, which cannot send the text "
                               "of a CDATA section",
                               line_number),
                   line_number);
        record_failure(run, RunCode::unusable);
        return Flow::closing_report;
    }
    if (SIO_connect(link) == Flow::end_now)
        return Flow::end_now;
    // Failures of these sends and reads are in the run status: what follows
    // does nothing, and the closing report says it.
    report_element_sent(run, "?xml");
    static_cast<void>(plain_send(link, "<?xml version=\"1.0\"?>\r\n"));
    static_cast<void>(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE));
    if (link.response_version.major >= WRAPPER_MAJOR && link.response_version.minor >= WRAPPER_MINOR) {
        report_element_sent(run, "TAMRO");
        std::string wrapper = format_text("<TAMRO VERSION=\"%s\">\r\n", PROGRAM_VERSION);
        static_cast<void>(plain_send(link, wrapper.c_str()));
        static_cast<void>(response_check(link, link.transfer_buffer, TRANSFER_BUFFER_SIZE));
    }
    rewind(run.state.script_input);
    restart_lexer(reader, run.state.script_input);
    ParseResult parsed = parse_script(reader);
    // The tokens after the last answer (the closing tags) leave now rather
    // than after the pause; a failure to send them is in the run status.
    static_cast<void>(tls_flush(link));
    if (parsed == ParseResult::input_failed) {
        note_script_unreadable(run);
        record_failure(run, RunCode::script_unreadable);
        return Flow::end_now;
    }
    // The first failure keeps its own code; a parse stopped for any other
    // reason fails the run with 1.
    if (parsed != ParseResult::accepted && run_going(run))
        record_failure(run, RunCode::failed_command);
    // A received copy that no later command block wrote is written now; one
    // that cannot be written fails the run itself.
    static_cast<void>(floppy_copy_flush(link));
    return Flow::go_on;
}

// HTTP mode: measure the body, send the script request (or the firmware
// upload and its follow-up request), read and judge the reply. The reader
// is the one of the checking pass: it knows where the script's secret
// values stand.
Flow run_http_mode(ScriptReader& reader)
{
    Link& link = reader.link;
    RunContext& run = link.run;
    BodyPlan plan;
    plan.secret_spans = reader.lexer.secret_spans;
    BodyPass measured = script_body_pass(link, false, plan);
    if (measured == BodyPass::rejected) {
        // The script cannot go out as it is: nothing is sent.
        record_failure(run, RunCode::unusable);
        return Flow::end_now;
    }
    // A firmware image that cannot be opened now is met again, and reported,
    // by the upload before anything of it is sent.
    if (SIO_connect(link) == Flow::end_now)
        return Flow::end_now;
    auto send_body = [&link, &plan] {
        // A failed send is in the run status; the reply loop then ends at once.
        static_cast<void>(script_body_pass(link, true, plan));
    };
    if (plan.firmware.firmware_update_present) {
        Flow uploaded = firmware_upload(link, plan.firmware, plan.length, {fresh_multipart_boundary, send_body});
        if (uploaded != Flow::go_on)
            return uploaded;
    } else {
        // A failed send is in the run status.
        static_cast<void>(plain_send(link, script_request_head(link, plan.length).c_str()));
        send_body();
    }
    Flow replied = reply_read_loop(link, plan.firmware.firmware_update_present);
    if (replied != Flow::go_on)
        return replied;
    int failing = status_scan(link);
    if (failing != 0) {
        record_processor_status(run, failing);
        // The answer that failed, with its message, when the report gathered
        // it; else the status the reply's scan found.
        std::string answer = mask_run_secrets(run, report_failing_answer(run));
        if (answer.empty())
            answer = format_text("the script with status 0x%04X", static_cast<unsigned>(failing));
        note_cause(run, Cause::processor_status,
                   format_text("the processor at %s:%s answered %s", run.settings.server_address,
                               run.settings.port_text, answer.c_str()));
    }
    return Flow::go_on;
}

// The exit status for the run status: the calling shell sees the low 8
// bits only, so a failure whose low byte is zero (a processor status such
// as 0x0100) must not read as success.
int exit_status(int32_t run_status)
{
    constexpr int32_t LOW_BYTE = 0xFF;
    if (run_status != 0 && (run_status & LOW_BYTE) == 0)
        return code_value(RunCode::failed_command);
    return run_status;
}

int closing_report(RunContext& run)
{
    fclose(run.state.script_input);
    run.state.script_input = nullptr;
    if (run.settings.working_copy_name[0] != '\0' && remove(run.settings.working_copy_name) != 0) {
        write_both_line_end(run);
        log_info(run, "Could not delete \"%s\"\r\n", run.settings.working_copy_name);
    }
    keep_at_process_end(run.state.slot);
    show_quiet_answers(run);
    ConsolePass closing_line(run.console);
    write_both_line_end(run);
    if (run_going(run))
        log_info(run, "Script succeeded on \"%s:%s\"\r\n", run.settings.server_address, run.settings.port_text);
    else
        log_info(run, "Script Failed on \"%s:%s\"\r\n", run.settings.server_address, run.settings.port_text);
    close_log(run);
    return exit_status(run.state.run_status);
}

// The transport exchange, from the probe to the end of the reply.
Flow exchange(ScriptReader& reader)
{
    RunContext& run = reader.link.run;
    run.state.checking_pass = false;
    // No connection is made while the file that pins the processors' keys
    // cannot be trusted.
    if (check_known_processors_file(run) == Flow::end_now)
        return Flow::closing_report;
    ProcessorGeneration generation = ProcessorGeneration::stream;
    if (generation_probe(reader.link, generation) == Flow::end_now)
        return Flow::end_now;
    run.state.processor_generation = generation;
    note_transport(run);
    switch (generation) {
    case ProcessorGeneration::stream:
        return run_stream_mode(reader);
    case ProcessorGeneration::http:
        return run_http_mode(reader);
    case ProcessorGeneration::probe_read_failed:
        break;
    }
    refine_cause(run, Cause::probe_failed,
                 format_text("the processor at %s:%s did not answer the transport probe", run.settings.server_address,
                             run.settings.port_text));
    record_failure(run, RunCode::unusable);
    return Flow::go_on;
}

// The run from the banner to its exit status.
int run_steps(RunContext& run, int argc, char** argv)
{
    if (!banner_left_out(argc, argv))
        print_banner(run);
    WSAData data{};
    int started = WSAStartup(WINSOCK_VERSION_2_2, &data);
    if (started != 0) {
        console_only(run, "WSAStartup failed: %d\n", started);
        note_cause(run, Cause::sockets_unavailable, format_text("the system's sockets could not be started (%d)", started));
        return code_value(RunCode::unusable);
    }
    switch (parse_command_line(run, argc, argv)) {
    case CommandLine::usage:
        return code_value(RunCode::success);
    case CommandLine::usage_error:
        return code_value(RunCode::usage_error);
    case CommandLine::stop:
        note_cause(run, Cause::settings_refused, {});
        return code_value(RunCode::unusable);
    case CommandLine::refused:
        if (!run.settings.check_only) {
            note_cause(run, Cause::settings_refused, {});
            return code_value(RunCode::unusable);
        }
        break;
    case CommandLine::go_on:
        break;
    }
    if (!outputs_apart(run)) {
        note_cause(run, Cause::outputs_conflict, {});
        return code_value(RunCode::unusable);
    }
    // The processor may echo the password: its answers show it masked.
    note_run_secret(run, run.settings.password);
    if (!begin_run_outputs(run)) {
        note_cause(run, Cause::settings_refused, "the run report (-j) cannot be written by this build or under this name");
        return code_value(RunCode::unusable);
    }
    if (!open_log_stream(run))
        return code_value(RunCode::unusable);
    if (open_script_input(run) == Flow::end_now)
        return run.state.run_status;
    say_placeholders_left(run);

    // The link to the processor, and the script's reader for both its
    // passes, which makes its link calls on it.
    Link link(run);
    ScriptReader reader(run.state.script_input, link);
    run.state.checking_pass = true;
    console_only(run, "\r\n CHECKING XML SYNTAX...\r\n");
    ParseResult checked = parse_script(reader);
    if (checked == ParseResult::input_failed) {
        note_script_unreadable(run);
        return code_value(RunCode::script_unreadable);
    }
    if (checked != ParseResult::accepted) {
        note_script_refused(run);
        console_only(run, "\r\n\r\nInvalid XML Syntax\r\n\r\n");
        record_failure(run, RunCode::unusable);
        return closing_report(run);
    }
    console_only(run, "\r\n\r\nValid XML Syntax\r\n\r\n");
    if (run.settings.check_only)
        return closing_report(run);

    log_server_address(run);

    switch (exchange(reader)) {
    case Flow::end_now:
        return run.state.run_status;
    case Flow::go_on:
        // A run with a deadline pauses at most for what is left of it.
        Sleep(run.settings.has_deadline ? static_cast<unsigned long>(wait_milliseconds(run.settings, 1))
                                        : CLOSING_PAUSE_MS);
        connection_teardown(link);
        WSACleanup();
        break;
    case Flow::closing_report:
        break;
    }
    return closing_report(run);
}

}  // namespace

int run_quorvex(RunContext& run, int argc, char** argv)
{
    int status = run_steps(run, argc, argv);
    // An early end leaves the log open: its writes count all the same.
    close_log(run);
    // A run that did its work but lost part of its log does not pass for a
    // plain success: whoever reads the log later would miss what happened.
    if (run.state.log_lost && status == 0)
        status = code_value(RunCode::output_lost);
    // However the run ended, the working copy does not stay behind.
    remove_armed_file(run.state.slot);
    status = finish_run_outputs(run, status);
    // A failed run ends with its cause on standard error, also under -q.
    constexpr int LOW_BYTE = 0xFF;
    RunCause cause = final_cause(run, status & LOW_BYTE);
    if (cause.cause != Cause::none) {
        std::string line = cause_line(run.settings.program_name, cause);
        error_only(run, "%s", line.c_str());
    }
    return status;
}
