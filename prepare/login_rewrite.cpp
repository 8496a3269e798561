#include "prepare/login_rewrite.h"

LoginRewrite rewrite_login_line(std::string_view line, std::string_view user, std::string_view password,
                                std::string& rewritten)
{
    size_t login = line.find("<LOGIN ");
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
