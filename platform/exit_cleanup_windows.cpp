// The Windows side (exit_cleanup.cpp is the POSIX one). Windows has no
// SIGTERM or SIGHUP for a console program: Ctrl-C, Ctrl-Break, a closed
// console window, a logoff and a shutdown reach it as console events, on a
// thread of their own.
#ifdef _WIN32

#include "platform/exit_cleanup.h"

#include <atomic>

#include "records/bounded_copy.h"
#include "records/run_slots.h"
#include "platform/winsock.h"

namespace {

constexpr size_t NAME_SIZE = 4096;

// Read by the event handler, which reaches nothing else: a slot's name is
// complete before its armed flag is set. The handler is the process's,
// installed once.
char armed_name[RUN_SLOTS][NAME_SIZE];
std::atomic<bool> armed[RUN_SLOTS];
std::atomic<EndingHook> ending_hook[RUN_SLOTS];
std::atomic<bool> handler_installed{false};
constexpr int INTERRUPT_SIGNAL = 2;  // SIGINT's number, for the report

bool in_range(int slot)
{
    return slot >= 0 && slot < RUN_SLOTS;
}

// Writes every slot's report and removes every armed file, then ends the
// process the way Windows ends a console program on these events, with
// STATUS_CONTROL_C_EXIT (Wine's own handling would end it with 0, as if the
// run had succeeded). A file can be open for reading at this point: it is
// opened with open_private_file, which lets it be deleted while open.
BOOL WINAPI on_console_event(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        for (int slot = 0; slot < RUN_SLOTS; ++slot) {
            if (EndingHook hook = ending_hook[slot].load())
                hook(slot, INTERRUPT_SIGNAL, static_cast<long long>(STATUS_CONTROL_C_EXIT));
        }
        for (int slot = 0; slot < RUN_SLOTS; ++slot)
            remove_armed_file(slot);
        ExitProcess(STATUS_CONTROL_C_EXIT);
    default:
        return FALSE;
    }
}

void install_handler()
{
    if (!handler_installed.exchange(true))
        SetConsoleCtrlHandler(on_console_event, TRUE);
}

}  // namespace

void remove_at_process_end(int slot, const char* name)
{
    if (!in_range(slot))
        return;
    armed[slot] = false;
    copy_bounded(armed_name[slot], name);
    install_handler();
    armed[slot] = true;
}

void call_at_process_end(int slot, EndingHook hook)
{
    if (!in_range(slot))
        return;
    ending_hook[slot] = hook;
    install_handler();
}

void keep_at_process_end(int slot)
{
    if (in_range(slot))
        armed[slot] = false;
}

void remove_armed_file(int slot)
{
    // Whichever thread comes first removes it; the other finds it disarmed.
    if (in_range(slot) && armed[slot].exchange(false))
        DeleteFileA(armed_name[slot]);
}

#endif
