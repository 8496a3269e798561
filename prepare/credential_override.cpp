#include "prepare/credential_override.h"

#include <cstdio>
#include <string>

#include "records/run_settings.h"
#include "link/stream_exchange.h"

bool credentials_overridden()
{
    return get_user_name()[0] != '\0' || get_password()[0] != '\0';
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
    static_cast<void>(token_send(link, quoted(get_user_name()).c_str()));
    static_cast<void>(token_send(link, "PASSWORD"));
    static_cast<void>(token_send(link, "="));
    static_cast<void>(masked_token_send(link, quoted(get_password()).c_str()));
    static_cast<void>(token_send(link, ">"));
}
