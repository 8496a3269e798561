// User name and password from the command line in place of the script's.
#pragma once

struct Link;
struct RunSettings;

// True when -u or -p gave at least one character.
bool credentials_given(const RunSettings& settings);
bool credentials_overridden(Link& link);
// The user name and password the command line gave ("" when none).
const char* override_user_name(Link& link);
const char* override_password(Link& link);

// Stream mode: sends USER_LOGIN = "<user>" PASSWORD = "<password>" > through
// the token send, the password value masked in traces.
void send_login_override(Link& link);
