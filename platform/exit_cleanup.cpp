// The POSIX side (exit_cleanup_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/exit_cleanup.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <mutex>

#include "records/bounded_copy.h"
#include "records/run_slots.h"

namespace {

constexpr size_t NAME_SIZE = 4096;
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// Read by the signal handler, which reaches nothing else: a slot's name is
// complete before its armed flag is set (the atomics are lock-free, so the
// handler may read them). The handlers are the process's, installed once.
char armed_name[RUN_SLOTS][NAME_SIZE];
std::atomic<bool> armed[RUN_SLOTS];
std::atomic<EndingHook> ending_hook[RUN_SLOTS];
// The first signal cleans up; one that comes on another thread meanwhile
// waits for the first to end the process.
std::atomic<bool> ending{false};
std::once_flag handlers_installed;
constexpr long long SIGNAL_EXIT_BASE = 128;

bool in_range(int slot)
{
    return slot >= 0 && slot < RUN_SLOTS;
}

// Writes every slot's report, removes every armed file, then ends the
// process the way the signal would have.
void on_ending_signal(int signal_number)
{
    if (ending.exchange(true)) {
        for (;;)
            pause();
    }
    for (int slot = 0; slot < RUN_SLOTS; ++slot) {
        if (EndingHook hook = ending_hook[slot].load())
            hook(slot, signal_number, SIGNAL_EXIT_BASE + signal_number);
    }
    for (int slot = 0; slot < RUN_SLOTS; ++slot)
        remove_armed_file(slot);
    std::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void install_handlers()
{
    std::call_once(handlers_installed, [] {
        for (int signal_number : ENDING_SIGNALS) {
            struct sigaction current {};
            sigaction(signal_number, nullptr, &current);
            // A signal the caller chose to ignore (nohup) stays ignored.
            if (current.sa_handler == SIG_IGN)
                continue;
            struct sigaction ending_action {};
            ending_action.sa_handler = on_ending_signal;
            sigemptyset(&ending_action.sa_mask);
            sigaction(signal_number, &ending_action, nullptr);
        }
    });
}

}  // namespace

void remove_at_process_end(int slot, const char* name)
{
    if (!in_range(slot))
        return;
    armed[slot] = false;
    copy_bounded(armed_name[slot], name);
    install_handlers();
    armed[slot] = true;
}

void call_at_process_end(int slot, EndingHook hook)
{
    if (!in_range(slot))
        return;
    ending_hook[slot] = hook;
    install_handlers();
}

void keep_at_process_end(int slot)
{
    if (in_range(slot))
        armed[slot] = false;
}

void remove_armed_file(int slot)
{
    // Whoever comes first removes it: the run's end or the handler.
    if (in_range(slot) && armed[slot].exchange(false))
        unlink(armed_name[slot]);
}

#endif
