// The POSIX side (exit_cleanup_windows.cpp is the Windows one).
#ifndef _WIN32

#include "platform/exit_cleanup.h"

#include <unistd.h>

#include <csignal>

#include "records/bounded_copy.h"

namespace {

constexpr size_t NAME_SIZE = 4096;
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// Read by the signal handler, which reaches nothing else: the name is
// complete before armed is set. The handlers are the process's, installed once.
char armed_name[NAME_SIZE];
volatile std::sig_atomic_t armed = 0;
bool handlers_installed = false;
volatile EndingHook ending_hook = nullptr;
constexpr long long SIGNAL_EXIT_BASE = 128;

// Removes the file, then ends the process the way the signal would have.
void on_ending_signal(int signal_number)
{
    if (EndingHook hook = ending_hook)
        hook(signal_number, SIGNAL_EXIT_BASE + signal_number);
    remove_armed_file();
    std::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void install_handlers()
{
    if (handlers_installed)
        return;
    handlers_installed = true;
    for (int signal_number : ENDING_SIGNALS) {
        struct sigaction current {};
        sigaction(signal_number, nullptr, &current);
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (current.sa_handler == SIG_IGN)
            continue;
        struct sigaction ending {};
        ending.sa_handler = on_ending_signal;
        sigemptyset(&ending.sa_mask);
        sigaction(signal_number, &ending, nullptr);
    }
}

}  // namespace

void remove_at_process_end(const char* name)
{
    armed = 0;
    copy_bounded(armed_name, name);
    install_handlers();
    armed = 1;
}

void call_at_process_end(EndingHook hook)
{
    ending_hook = hook;
    install_handlers();
}

void keep_at_process_end()
{
    armed = 0;
}

void remove_armed_file()
{
    if (armed)
        unlink(armed_name);
    armed = 0;
}

#endif
