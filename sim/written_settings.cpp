#include "sim/written_settings.h"

#include <algorithm>

namespace {

bool is_write_mode(const std::string* mode)
{
    if (mode == nullptr)
        return false;
    std::string text = upper_name(*mode);
    return text == "W" || text == "WRITE";
}

// The command block the tag stands in, when it is open in write mode.
bool in_write_block(const Nesting& nesting)
{
    for (const OpenElement& element : nesting.open)
        if (element.role == ElementRole::block)
            return is_write_mode(tag_attribute(element.start, "MODE"));
    return false;
}

bool inside(const Nesting& nesting, ElementRole role)
{
    return std::any_of(nesting.open.begin(), nesting.open.end(),
                       [role](const OpenElement& element) { return element.role == role; });
}

void drop(std::vector<std::string>& list, const std::string& name)
{
    list.erase(std::remove(list.begin(), list.end(), name), list.end());
}

void replace_values(std::string& data, const WrittenSettings& written)
{
    for (const auto& [name, value] : written.values) {
        const std::string head = "<" + name + " VALUE=\"";
        for (size_t at = data.find(head); at != std::string::npos; at = data.find(head, at + 1)) {
            size_t start = at + head.size();
            size_t end = data.find('"', start);
            if (end == std::string::npos)
                break;
            data.replace(start, end - start, value);
        }
    }
}

} // namespace

void remember_written(WrittenSettings& written, const Nesting& nesting, const Tag& tag)
{
    if (tag.kind != TagKind::start || !in_write_block(nesting))
        return;
    const std::string name = upper_name(tag.name);
    const std::string* login = tag_attribute(tag, "USER_LOGIN");
    if (name == "ADD_USER" && login != nullptr) {
        drop(written.deleted_users, *login);
        drop(written.added_users, *login);
        written.added_users.push_back(*login);
        return;
    }
    if (name == "DELETE_USER" && login != nullptr) {
        drop(written.added_users, *login);
        drop(written.deleted_users, *login);
        written.deleted_users.push_back(*login);
        return;
    }
    const std::string* value = tag_attribute(tag, "VALUE");
    // The settings of a new user are that user's, not the processor's.
    if (value != nullptr && !inside(nesting, ElementRole::add_user))
        written.values[name] = *value;
}

std::string with_written(const std::string& command, const std::string& data, const WrittenSettings& written)
{
    std::string text = data;
    replace_values(text, written);
    if (command != "GET_ALL_USERS")
        return text;
    for (const std::string& login : written.deleted_users) {
        const std::string line = "    <USER_LOGIN VALUE=\"" + login + "\"/>\r\n";
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line))
            text.erase(at, line.size());
    }
    size_t end = text.rfind("</ALL_USERS>");
    for (const std::string& login : written.added_users) {
        const std::string line = "    <USER_LOGIN VALUE=\"" + login + "\"/>\r\n";
        if (end != std::string::npos && text.find(line) == std::string::npos) {
            text.insert(end, line);
            end += line.size();
        }
    }
    return text;
}
