#include "prepare/credential_override.h"

#include <cstdio>
#include <string>

#include "driver/command_line.h"
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

void send_login_override()
{
    token_send("USER_LOGIN");
    token_send("=");
    token_send(quoted(get_user_name()).c_str());
    token_send("PASSWORD");
    token_send("=");
    masked_token_send(quoted(get_password()).c_str());
    token_send(">");
}
