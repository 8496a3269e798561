// Named results: the run statuses the utility sets itself, the results of
// the link operations, the probe's verdict, and how a step lets the run go
// on. Exit statuses are documented for users in the README's table.
#pragma once

#include <cstdint>

// Values of the run status that the utility sets itself; a processor's
// error status is run status as it is (0x005F gives 95).
enum class RunCode : int32_t {
    success = 0,
    unusable = -1,          // command line, log, script, connection, probe
    failed_command = 1,     // stream mode: a command or a received image failed
    script_unreadable = 2,  // the script could not be read
    read_failure = 3,       // the connection broke or went silent while reading
    refused = 4,            // HTTP mode: the processor refused the request
    write_failure = 6,      // sending on the connection failed
    flash_unconfirmed = 8,  // HTTP mode: the replies never confirmed the flash
    usage_error = 64,       // the command line could not be understood: nothing ran
    output_lost = 74,       // the run succeeded, but its log or report could not be written whole
    identity_refused = 77,  // the processor's key is not the one known for it
};

constexpr int32_t code_value(RunCode code)
{
    return static_cast<int32_t>(code);
}

// Records a failure in the run status. The first failure ends the
// conversation: every later send, read and transfer does nothing.
struct RunContext;
void record_failure(RunContext& run, RunCode code);
// The same for an error status the processor reported.
void record_processor_status(RunContext& run, int32_t status);
// The run has not failed so far.
bool run_going(const RunContext& run);

// Result of a send, a read or a transfer on the processor link.
enum class [[nodiscard]] LinkResult : int {
    ok = 0,
    skipped = -1,            // nothing done: the run had already failed
    failed_command = 1,      // an image command could not be carried out
    read_failure = 3,
    malformed_response = 4,  // the run goes on
    error_status = 5,        // the processor reported an error status
    write_failure = 6,
    refused = 7,             // HTTP mode: a reply head other than 200
};

// Which transport the processor speaks, or why the probe could not tell.
enum class ProcessorGeneration : int {
    stream = 0,
    http = 1,
    probe_read_failed = 3,
};

// How a step leaves the run.
enum class [[nodiscard]] Flow {
    go_on,           // the run continues
    closing_report,  // straight to the closing report (no pause, no release)
    end_now,         // the run ends at once with the run status: no closing report
};
