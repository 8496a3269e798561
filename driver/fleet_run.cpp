#include "driver/fleet_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "driver/inventory.h"
#include "driver/run.h"
#include "records/log_output.h"
#include "records/run_context.h"
#include "records/run_limits.h"
#include "records/run_slots.h"
#include "platform/large_allocations.h"
#include "platform/winsock.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The exit status of a run that could not be made at all (as the utility's
// own for a run that cannot start).
constexpr int NOT_RUN = 255;

struct Fleet {
    Fleet(RunContext& messages, const FleetOptions& given, std::vector<InventoryEntry> listed)
        : report_to(messages), options(given), entries(std::move(listed)), logs(given.output + "/logs")
    {
    }
    // The fleet's own messages (standard error), one thread at a time.
    RunContext& report_to;
    std::mutex report_lock;
    const FleetOptions& options;
    std::vector<InventoryEntry> entries;
    std::string logs;
    std::atomic<size_t> next{0};
    std::atomic<int> failed{0};
    // --halt: no new run is started.
    std::atomic<bool> halted{false};
    std::mutex joblog_lock;
    FILE* joblog = nullptr;
};

// Not connected in a way another try may mend, by the run's cause (never
// by its console's text): refused, timed out, unreachable, or a name lookup
// that may work later (EAI_AGAIN); not a refused handshake nor an unknown
// name.
bool worth_another_try(const RunContext& run, int status)
{
    if (status != NOT_RUN)
        return false;
    switch (run.state.cause.cause) {
    case Cause::connect_refused:
    case Cause::connect_timeout:
    case Cause::connect_failed:
        return true;
    case Cause::connect_unresolved:
        return run.state.cause.system_error == "EAI_AGAIN";
    default:
        return false;
    }
}

void write_tries(const std::string& name, const std::string& text)
{
    std::ofstream(name, std::ios::trunc) << text << '\n';
}

// One line of the job log, in GNU parallel's own format.
void log_job(Fleet& fleet, const InventoryEntry& entry, double started, double seconds, int status)
{
    std::lock_guard<std::mutex> hold(fleet.joblog_lock);
    if (fleet.joblog == nullptr)
        return;
    std::fprintf(fleet.joblog, "%d\t:\t%.3f\t%10.3f\t0\t0\t%d\t0\tquorvex %s %s\n", entry.number, started, seconds,
                 status, entry.name.c_str(), entry.processor.c_str());
    std::fflush(fleet.joblog);
}

// The processor's runs, one try after another, in the slot of this thread.
void run_processor(Fleet& fleet, const InventoryEntry& entry, int slot)
{
    const FleetOptions& options = fleet.options;
    double started = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    Clock::time_point start = Clock::now();
    Clock::time_point deadline = start + std::chrono::seconds(options.time_bound);
    std::string base = fleet.logs + "/" + entry.name;
    std::string log = base + ".log", report = base + ".json", tries = base + ".tries";
    FILE* out = std::fopen((base + ".out").c_str(), "wb");
    int status = NOT_RUN;
    if (out == nullptr) {
        write_tries(tries, "1");
    } else {
        std::vector<std::string> words = {options.program, options.verbose ? "-v" : "-q", "-s", entry.processor,
                                          "-f", options.script, "-l", log, "-j", report};
        if (!entry.pairs.empty()) {
            words.push_back("-t");
            words.push_back(entry.pairs);
        }
        for (int attempt = 1;; ++attempt) {
            write_tries(tries, std::to_string(attempt));
            std::vector<char*> argv;
            for (std::string& word : words)
                argv.push_back(word.data());
            argv.push_back(nullptr);
            RunContext run;
            run.console.out = out;
            run.console.errors = out;
            run.state.slot = slot;
            run.settings.folder = base;
            run.settings.has_deadline = true;
            run.settings.deadline = deadline;
            run.settings.time_bound_seconds = options.time_bound;
            // As the calling shell sees it: the low 8 bits.
            constexpr int LOW_BYTE = 0xFF;
            status = run_quorvex(run, static_cast<int>(words.size()), argv.data()) & LOW_BYTE;
            std::fflush(out);
            if (run.state.deadline_reached) {
                write_tries(tries, std::to_string(attempt) + " stopped");
                break;
            }
            if (attempt > options.retries || !worth_another_try(run, status))
                break;
            error_only(run, "\nquorvex-fleet: no connection on try %d; trying again in %d s\n\n", attempt,
                       options.retry_wait);
            std::fflush(out);
            Sleep(static_cast<unsigned long>(wait_milliseconds(run.settings, options.retry_wait)));
            if (deadline_passed(run.settings)) {
                write_tries(tries, std::to_string(attempt) + " stopped");
                break;
            }
        }
        std::fclose(out);
    }
    // The run's folder, if the run made it, goes when it left nothing in it.
    std::error_code ignored;
    if (fs::is_empty(base, ignored))
        fs::remove(base, ignored);
    if (status != 0) {
        // A line per failure as it comes, for whoever watches the fleet.
        int failures = ++fleet.failed;
        std::lock_guard<std::mutex> hold(fleet.report_lock);
        error_only(fleet.report_to, "%s: %s failed (exit status %d; %s.out)\n", options.program,
                   entry.processor.c_str(), status, base.c_str());
        if (options.halt > 0 && failures >= options.halt && !fleet.halted.exchange(true))
            error_only(fleet.report_to, "%s: %d failure%s: no new run is started (--halt)\n", options.program,
                       failures, failures == 1 ? "" : "s");
    }
    log_job(fleet, entry, started, std::chrono::duration<double>(Clock::now() - start).count(), status);
}

// The output folder and its logs/ (the running user's alone); a run's own
// folder is made by the run when it writes a file there. False after a
// message when they cannot be made.
bool make_folders(RunContext& report_to, Fleet& fleet)
{
    std::error_code error;
    fs::create_directories(fleet.options.output, error);
    if (!fs::is_directory(fleet.options.output) || fs::is_symlink(fleet.logs)) {
        error_only(report_to, "%s: cannot make the output folder %s\n", fleet.options.program,
                   fleet.options.output.c_str());
        return false;
    }
    if (fs::create_directory(fleet.logs, error))
        fs::permissions(fleet.logs, fs::perms::owner_all, fs::perm_options::replace, error);
    return true;
}

// The process's environment as every run takes it: what would give all
// runs the same -t pairs, or a password only the first run could read, is
// refused.
bool environment_fits(RunContext& fleet, const char* program)
{
    const char* pairs = std::getenv("QUORVEX_VARIABLES");
    if (pairs != nullptr && *pairs != '\0') {
        error_only(fleet, "%s: QUORVEX_VARIABLES is not taken in the fleet mode: the inventory gives each "
                          "processor its own pairs\n", program);
        return false;
    }
    const char* password_file = std::getenv("QUORVEX_PASSWORD_FILE");
    if (std::getenv("QUORVEX_PASSWORD") == nullptr && password_file != nullptr && std::string(password_file) == "-") {
        error_only(fleet, "%s: QUORVEX_PASSWORD_FILE=- would give the password to one run alone: give it in "
                          "QUORVEX_PASSWORD or a file\n", program);
        return false;
    }
    return true;
}

// Runs the entries from the next one up to end, J at a time, each thread in
// a slot of its own; none is started once the fleet is halted.
void run_entries(Fleet& fleet, size_t end)
{
    size_t workers = std::min(end - std::min(end, fleet.next.load()),
                              static_cast<size_t>(std::min(fleet.options.jobs, RUN_SLOTS)));
    std::vector<std::thread> threads;
    for (size_t slot = 0; slot < workers; ++slot) {
        threads.emplace_back([&fleet, end, slot] {
            while (!fleet.halted) {
                // The next entry, if it is before end: the next round starts
                // with the first one no thread took.
                size_t at = fleet.next.load();
                do {
                    if (at >= end)
                        return;
                } while (!fleet.next.compare_exchange_weak(at, at + 1));
                run_processor(fleet, fleet.entries[at], static_cast<int>(slot));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace

int run_fleet(RunContext& report_to, const FleetOptions& options)
{
    constexpr int REFUSED = 2;
    if (!environment_fits(report_to, options.program))
        return REFUSED;
    std::ifstream file(options.inventory, std::ios::binary);
    if (!file) {
        error_only(report_to, "%s: cannot read the inventory %s\n", options.program, options.inventory.c_str());
        return REFUSED;
    }
    std::ostringstream text;
    text << file.rdbuf();
    Inventory inventory = read_inventory(text.str(), options.first);
    if (!inventory.refused.empty()) {
        error_only(report_to, "%s%s: inventory %s refused\n", inventory.refused.c_str(), options.program,
                   options.inventory.c_str());
        return REFUSED;
    }
    Fleet fleet(report_to, options, std::move(inventory.entries));
    if (!make_folders(report_to, fleet))
        return REFUSED;
    fleet.joblog = std::fopen((options.output + "/joblog").c_str(), "wb");
    if (fleet.joblog == nullptr) {
        error_only(report_to, "%s: cannot write %s/joblog\n", options.program, options.output.c_str());
        return REFUSED;
    }
    std::fprintf(fleet.joblog, "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n");
    keep_large_allocations_fresh();
    // The canaries first, J at a time; the rest only when all of them
    // succeeded.
    size_t canaries = std::min(fleet.entries.size(), static_cast<size_t>(options.canary));
    run_entries(fleet, canaries);
    if (fleet.failed > 0 && canaries > 0 && canaries < fleet.entries.size()) {
        int others = static_cast<int>(fleet.entries.size() - canaries);
        error_only(report_to, "%s: a canary failed: the other %d processor%s are not run (--canary)\n",
                   options.program, others, others == 1 ? "" : "s");
        fleet.halted = true;
    }
    run_entries(fleet, fleet.entries.size());
    std::fclose(fleet.joblog);
    return fleet.failed == 0 ? 0 : 1;
}
