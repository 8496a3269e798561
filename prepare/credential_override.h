// User name and password from the command line in place of the script's.
#pragma once

struct Link;

// True when -u or -p gave at least one character.
bool credentials_overridden();

// Stream mode: sends USER_LOGIN = "<user>" PASSWORD = "<password>" > through
// the token send, the password value masked in traces.
void send_login_override(Link& link);
