#include "records/run_settings.h"

RunSettings settings;

const char* get_user_name()
{
    return settings.user_name;
}

const char* get_password()
{
    return settings.password;
}
