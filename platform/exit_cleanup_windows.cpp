// The Windows side (exit_cleanup.cpp is the POSIX one). Windows has no
// SIGTERM or SIGHUP for a console program: Ctrl-C, Ctrl-Break, a closed
// console window, a logoff and a shutdown reach it as console events, on a
// thread of their own.
#ifdef _WIN32

#include "platform/exit_cleanup.h"

#include "records/bounded_copy.h"
#include "platform/winsock.h"

namespace {

constexpr size_t NAME_SIZE = 4096;

// Read by the event handler, which reaches nothing else: the name is
// complete before armed is set. The handler is the process's, installed once.
char armed_name[NAME_SIZE];
volatile LONG armed = 0;
bool handler_installed = false;
volatile EndingHook ending_hook = nullptr;
constexpr int INTERRUPT_SIGNAL = 2;  // SIGINT's number, for the report

// Removes the file, then ends the process the way Windows ends a console
// program on these events, with STATUS_CONTROL_C_EXIT (Wine's own handling
// would end it with 0, as if the run had succeeded). The file can be open
// for reading at this point: it is opened with open_private_file, which
// lets it be deleted while open.
BOOL WINAPI on_console_event(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (EndingHook hook = ending_hook)
            hook(INTERRUPT_SIGNAL, static_cast<long long>(STATUS_CONTROL_C_EXIT));
        remove_armed_file();
        ExitProcess(STATUS_CONTROL_C_EXIT);
    default:
        return FALSE;
    }
}

}  // namespace

void remove_at_process_end(const char* name)
{
    armed = 0;
    copy_bounded(armed_name, name);
    if (!handler_installed)
        handler_installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
    armed = 1;
}

void call_at_process_end(EndingHook hook)
{
    ending_hook = hook;
    if (!handler_installed)
        handler_installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
}

void keep_at_process_end()
{
    armed = 0;
}

void remove_armed_file()
{
    // Whichever thread comes first removes it; the other finds it disarmed.
    if (InterlockedExchange(&armed, 0) != 0)
        DeleteFileA(armed_name);
}

#endif
