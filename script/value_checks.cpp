#include "script/value_checks.h"
#include "records/text_tests.h"

#include <cctype>
#include <cstring>

static bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

static const char* skip_space_and_sign(const char* p)
{
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (*p == '+' || *p == '-')
        ++p;
    return p;
}

bool is_number(const char* value)
{
    const char* p = skip_space_and_sign(value);
    if (is_digit(*p))
        return true;
    return *p == '.' && is_digit(p[1]);
}

bool is_integer(const char* value)
{
    return is_digit(*skip_space_and_sign(value));
}

bool is_write_mode(const char* value)
{
    return equal_ignoring_case(value, "W") || equal_ignoring_case(value, "WRITE");
}

bool is_mode(const char* value)
{
    switch (tolower(static_cast<unsigned char>(value[0]))) {
    case 'r':
        return value[1] == '\0' || equal_ignoring_case(value, "READ");
    case 'w':
        return value[1] == '\0' || equal_ignoring_case(value, "WRITE");
    default:
        return false;
    }
}

bool boolean_too_long(const char* value)
{
    return strlen(value) > BOOLEAN_WORD_MAX;
}

bool is_boolean(const char* value)
{
    if (boolean_too_long(value))
        return false;
    switch (tolower(static_cast<unsigned char>(value[0]))) {
    case '0':
    case 'f':
    case 'n':
        return value[1] == '\0' || equal_ignoring_case(value, "NO") || equal_ignoring_case(value, "FALSE");
    case '1':
    case 't':
    case 'y':
        return value[1] == '\0' || equal_ignoring_case(value, "YES") || equal_ignoring_case(value, "TRUE");
    default:
        return false;
    }
}

bool hotkey_count_ok(const char* value)
{
    int commas = 0;
    for (const char* p = value; *p != '\0'; ++p)
        commas += *p == ',';
    return commas <= HOTKEY_COMMAS_MAX;
}

const char* user_name_problem(const char* value)
{
    if (strlen(value) > LOGIN_FIELD_MAX)
        return "User login name too long. Maximum length is 48 characters.\n";
    if (value[0] == '\0')
        return "User login name must not be left blank.\n";
    return nullptr;
}

const char* password_problem(const char* value)
{
    if (strlen(value) > LOGIN_FIELD_MAX)
        return "Password too long. Maximum length is 48 characters.\n";
    return nullptr;
}
