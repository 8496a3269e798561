// The system's name of an error number, as its manuals write it
// ("ECONNREFUSED", "EAI_NONAME"; on Windows "WSAECONNREFUSED"), for the
// words of a failure; nullptr for a number without a name here.
#pragma once

#include <cstddef>
#include <string>

// error: errno, the socket layer's last error (WSAGetLastError), or a
// resolver's result kept as the last error (keep_resolver_error).
const char* system_error_name(int error);
// The system's text for the same error ("Connection refused").
std::string system_error_text(int error);

// An error number and its name, for the tables of both systems.
struct ErrorName {
    int number;
    const char* name;
};
#define QUORVEX_ERROR_NAME(error) ErrorName{error, #error}

template <size_t COUNT>
const char* name_in(const ErrorName (&names)[COUNT], int error)
{
    for (const ErrorName& known : names)
        if (known.number == error)
            return known.name;
    return nullptr;
}
