#include "driver/report_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/program_version.h"
#include "records/results.h"
#include "records/run_report.h"
#include "records/run_context.h"
#include "records/log_output.h"
#include "records/run_causes.h"
#include "platform/exit_cleanup.h"
#include "platform/quiet_console.h"
#include "platform/report_file.h"

namespace {

// The exit status of a run that succeeded but whose report could not be
// written (as for the log).
constexpr int REPORT_NOT_WRITTEN = code_value(RunCode::output_lost);
constexpr size_t SIGNAL_REPORT_SIZE = 2048;
// Where the signal handler renders the short report: it can reach nothing
// but namespace-scope objects, and may not allocate.
char signal_report[SIGNAL_REPORT_SIZE];

// Inside the signal handler: the slot's short report, written whole or not
// at all. The handler calls the slots one after the other: one buffer
// serves them all.
void write_signal_report(int slot, int signal_number, long long exit_status)
{
    size_t length = render_signal_report(slot, signal_number, static_cast<int>(exit_status), signal_report,
                                         sizeof signal_report);
    if (length > 0)
        static_cast<void>(write_report_file_now(slot, signal_report, length));  // nothing more can be done
}

// Inside the signal handler while the report itself is written: no half
// of it stays behind (the previous report, if any, stays whole).
void drop_unfinished_report(int slot, int, long long)
{
    discard_report_temporary(slot);
}

}  // namespace

bool begin_run_outputs(RunContext& run)
{
    run.state.report_wanted = false;
    if (run.settings.report_file_name != nullptr) {
        if (!prepare_report_file(run.state.slot, run.settings.report_file_name)) {
            error_only(run, "Cannot write the run report \"%s\": the name is too long\n",
                       run.settings.report_file_name);
            return false;
        }
        run.state.report_wanted = true;
        report_start(run, QUORVEX_VERSION, true);
        call_at_process_end(run.state.slot, write_signal_report);
    }
    // Under -q the process's standard output goes nowhere, in case anything
    // but the run's own writers would write there; a console of the
    // caller's own is left as it is.
    if (run.settings.quiet && run.console.kept == nullptr)
        run.console.kept = run.console.out == stdout ? silence_standard_output() : run.console.out;
    // The answers are gathered for a quiet console even without a report.
    if (run.settings.quiet && !report_gathering(run))
        report_start(run, QUORVEX_VERSION, false);
    return true;
}

void note_transport(RunContext& run)
{
    report_transport(run, run.state.processor_generation);
}

void show_quiet_answers(RunContext& run)
{
    if (run.console.kept == nullptr || run.state.processor_generation != ProcessorGeneration::http)
        return;
    std::string lines = quiet_answer_lines(run);
    quiet_console_text(run, lines.data(), lines.size());
}

int finish_run_outputs(RunContext& run, int exit_status)
{
    int status = exit_status;
    if (run.state.report_wanted) {
        run.state.report_wanted = false;
        call_at_process_end(run.state.slot, drop_unfinished_report);
        std::string text = render_run_report(run, exit_status & 0xFF, run.settings.check_only);
        bool written = write_report_file(run.state.slot, text.data(), text.size());
        int error = errno;
        call_at_process_end(run.state.slot, nullptr);
        if (!written) {
            error_only(run, "Cannot write the run report \"%s\": %s\n", run.settings.report_file_name,
                       std::strerror(error));
            note_cause(run, Cause::report_unwritable,
                       format_text("the run report \"%s\" could not be written: %s", run.settings.report_file_name,
                                   std::strerror(error)));
            if (exit_status == 0)
                status = REPORT_NOT_WRITTEN;
        }
    }
    if (run.console.kept != nullptr)
        std::fflush(run.console.kept);
    return status;
}
