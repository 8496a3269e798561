// Windows only: POSIX callers take strerror.
#ifdef _WIN32

#include "platform/system_reason.h"

#include "platform/winsock.h"

std::string windows_error_text(unsigned long error)
{
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        text[--length] = '\0';
    return length > 0 ? std::string(text, length) : "error " + std::to_string(error);
}

#endif
