#include "prepare/credential_override.h"

#include <string>

#include "records/attribute_text.h"
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

// The override values go out as attribute text in quotes, without a
// fixed-size buffer, so values of any length go out whole and none of them
// becomes markup.
static std::string quoted(const char* value)
{
    return '"' + attribute_text(value) + '"';
}

// A failed send fails the run; the sends after it send nothing.
void send_user_override(Link& link)
{
    static_cast<void>(token_send(link, "USER_LOGIN"));
    static_cast<void>(token_send(link, "="));
    static_cast<void>(token_send(link, quoted(override_user_name(link)).c_str()));
}

void send_password_override(Link& link)
{
    static_cast<void>(token_send(link, "PASSWORD"));
    static_cast<void>(token_send(link, "="));
    static_cast<void>(masked_token_send(link, quoted(override_password(link)).c_str()));
    static_cast<void>(token_send(link, ">"));
}
