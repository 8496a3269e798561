#include "prepare/credential_override.h"

#include <cstdio>
#include <string>

#include "link/link.h"
#include "link/stream_exchange.h"

const char* override_user_name(Link& link)
{
    return link.run.settings.user_name;
}

const char* override_password(Link& link)
{
    return link.run.settings.password;
}

bool credentials_given(const RunSettings& settings)
{
    return settings.user_name[0] != '\0' || settings.password[0] != '\0';
}

bool credentials_overridden(Link& link)
{
    return credentials_given(link.run.settings);
}

// The override values are quoted without a fixed-size buffer, so values of
// any length go out whole.
static std::string quoted(const char* value)
{
    std::string text;
    text.reserve(std::char_traits<char>::length(value) + 2);
    text += '"';
    text += value;
    text += '"';
    return text;
}

void send_login_override(Link& link)
{
    // A failed send fails the run; the sends after it send nothing.
    static_cast<void>(token_send(link, "USER_LOGIN"));
    static_cast<void>(token_send(link, "="));
    static_cast<void>(token_send(link, quoted(override_user_name(link)).c_str()));
    static_cast<void>(token_send(link, "PASSWORD"));
    static_cast<void>(token_send(link, "="));
    static_cast<void>(masked_token_send(link, quoted(override_password(link)).c_str()));
    static_cast<void>(token_send(link, ">"));
}
