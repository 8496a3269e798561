// Starts quorvex.exe from this program's folder with the command line
// "quorvex <the arguments this program was given>", and ends with its exit
// status. Wine always hands a program it starts its full Windows path as
// argv[0]; the program uses argv[0] as its name in every message, and the
// cases expect it to be called "quorvex", as on Linux (tests/run_case.py).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

namespace {

// What follows argv[0] in a command line, as given. argv[0] ends at the
// closing quote when it starts with one, else at the first blank or tab.
const wchar_t* after_program_name(const wchar_t* line)
{
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"')
            ++line;
        if (*line == L'"')
            ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t')
            ++line;
    }
    return line;
}

std::wstring own_folder()
{
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Ctrl-C and Ctrl-Break are for the program: this one waits on, to pass on
// the status it ends with.
BOOL WINAPI keep_waiting(DWORD event)
{
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

}  // namespace

int main()
{
    SetConsoleCtrlHandler(keep_waiting, TRUE);
    std::wstring program = own_folder() + L"quorvex.exe";
    std::wstring command = std::wstring(L"quorvex") + after_program_name(GetCommandLineW());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 127;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 127;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
