// User name and password from the command line in place of the script's.
#pragma once

struct Link;
struct RunSettings;

// True when -u or -p gave at least one character.
bool credentials_given(const RunSettings& settings);
// The user name and password the command line gave ("" when none).
const char* override_user_name(Link& link);
const char* override_password(Link& link);

// Stream mode, in place of the script's attribute that each replaces:
// USER_LOGIN = "<user>" and PASSWORD = "<password>" > through the token
// send, each value written as attribute text, the password masked in
// traces. An attribute the command line gave nothing for is the script's.
void send_user_override(Link& link);
void send_password_override(Link& link);
