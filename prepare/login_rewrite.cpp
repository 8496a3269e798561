#include "prepare/login_rewrite.h"

#include "records/attribute_text.h"

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

bool is_name_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Where the LOGIN tag's PASSWORD attribute and the tag's '>' stand, read
// from `from` on outside quoted values: "PASSWORD" inside a user name, or a
// '>' inside a password, belongs to its value. npos for what the line lacks.
struct TagParts {
    size_t password = std::string_view::npos;
    size_t end = std::string_view::npos;
};

TagParts login_tag_parts(std::string_view line, size_t from)
{
    constexpr std::string_view PASSWORD = "PASSWORD";
    TagParts parts;
    char quote = 0;
    for (size_t at = from; at < line.size(); ++at) {
        char c = line[at];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            parts.end = at;
            return parts;
        } else if (parts.password == std::string_view::npos && line.compare(at, PASSWORD.size(), PASSWORD) == 0 &&
                   !is_name_char(line[at - 1]) &&
                   (at + PASSWORD.size() == line.size() || !is_name_char(line[at + PASSWORD.size()]))) {
            parts.password = at;
            at += PASSWORD.size() - 1;
        }
    }
    return parts;
}

}  // namespace

LoginRewrite rewrite_login_line(std::string_view line, std::string_view user, std::string_view password,
                                std::string& rewritten)
{
    size_t login = login_tag(line);
    if (login == std::string_view::npos || (user.empty() && password.empty()))
        return LoginRewrite::not_applicable;
    size_t after_login = login + 6;  // just past "<LOGIN"
    TagParts parts = login_tag_parts(line, after_login);
    size_t password_at = parts.password;
    if (password_at == std::string_view::npos)
        return LoginRewrite::no_password;
    size_t tag_end = parts.end;
    if (!password.empty() && tag_end == std::string_view::npos)
        return LoginRewrite::no_tag_end;

    rewritten.clear();
    if (!user.empty()) {
        rewritten.append(line.substr(0, after_login));
        rewritten.append(" USER_LOGIN=\"").append(attribute_text(user)).append("\" ");
        if (password.empty()) {
            rewritten.append(line.substr(password_at));
            return LoginRewrite::rewritten;
        }
    } else {
        rewritten.append(line.substr(0, password_at));
    }
    rewritten.append(" PASSWORD=\"").append(attribute_text(password)).append("\">");
    rewritten.append(line.substr(tag_end + 1));
    return LoginRewrite::rewritten;
}
