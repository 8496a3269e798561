#include "prepare/login_rewrite.h"

namespace {

// Where the LOGIN start tag begins: "<LOGIN" followed by a blank, a tab or
// the end of the line (so not "<LOGINS"); npos when the line has none.
size_t login_tag(std::string_view line)
{
    constexpr std::string_view TAG = "<LOGIN";
    for (size_t at = line.find(TAG); at != std::string_view::npos; at = line.find(TAG, at + 1)) {
        size_t after = at + TAG.size();
        if (after == line.size() || line[after] == ' ' || line[after] == '\t')
            return at;
    }
    return std::string_view::npos;
}

}  // namespace

LoginRewrite rewrite_login_line(std::string_view line, std::string_view user, std::string_view password,
                                std::string& rewritten)
{
    size_t login = login_tag(line);
    if (login == std::string_view::npos || (user.empty() && password.empty()))
        return LoginRewrite::not_applicable;
    size_t password_at = line.find("PASSWORD", login);
    if (password_at == std::string_view::npos)
        return LoginRewrite::no_password;
    size_t tag_end = line.find('>', password_at);
    if (!password.empty() && tag_end == std::string_view::npos)
        return LoginRewrite::no_tag_end;

    size_t after_login = login + 6;  // just past "<LOGIN"
    rewritten.clear();
    if (!user.empty()) {
        rewritten.append(line.substr(0, after_login));
        rewritten.append(" USER_LOGIN=\"").append(user).append("\" ");
        if (password.empty()) {
            rewritten.append(line.substr(password_at));
            return LoginRewrite::rewritten;
        }
    } else {
        rewritten.append(line.substr(0, password_at));
    }
    rewritten.append(" PASSWORD=\"").append(password).append("\">");
    rewritten.append(line.substr(tag_end + 1));
    return LoginRewrite::rewritten;
}
