// The LOGIN start tag of one script line rebuilt with the command-line
// credentials in place of the script's.
#pragma once

#include <string>
#include <string_view>

enum class LoginRewrite {
    not_applicable,  // no LOGIN start tag on the line, or no override given
    rewritten,
    no_password,     // no PASSWORD attribute after "<LOGIN" on the line
    no_tag_end,      // a password to replace but no '>' after PASSWORD
};

// user and password are the override values, empty when not given; they
// go into the line as attribute text (a quote, '<' or '&' in a password
// stays part of the password).
// rewritten receives the new line when the result is rewritten.
LoginRewrite rewrite_login_line(std::string_view line, std::string_view user, std::string_view password,
                                std::string& rewritten);
