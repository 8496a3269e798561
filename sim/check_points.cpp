#include "sim/check_points.h"

#include <cctype>
#include <cstdlib>

std::string upper_name(const std::string& name)
{
    std::string text = name;
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool is_query_name(const std::string& upper)
{
    return upper.rfind("GET", 0) == 0 || upper.rfind("CERTIFICATE_SIGNING_REQUEST", 0) == 0;
}

namespace {

bool is_command_role(ElementRole role)
{
    return role != ElementRole::root && role != ElementRole::login && role != ElementRole::block &&
           role != ElementRole::wrapper;
}

ElementRole command_role(const std::string& name)
{
    if (name == "UPDATE_MOX_FIRMWARE" || name == "INSERT_VIRTUAL_FLOPPY")
        return ElementRole::image_send;
    if (name == "COPY_VIRTUAL_FLOPPY") return ElementRole::floppy_copy;
    if (name == "HOTKEY_CONFIG") return ElementRole::hotkey_config;
    if (name == "ADD_USER") return ElementRole::add_user;
    if (name == "IMPORT_CERTIFICATE" || name == "IMPORT_SSH_KEY") return ElementRole::text_holder;
    if (name == "SET_SECURITY_MSG") return ElementRole::set_security_msg;
    if (name == "MOD_TWOFACTOR_SETTINGS" || name == "MOD_DIR_CONFIG" ||
        name == "MOD_SNMP_QX_SETTINGS" || name == "BLOB_WRITE")
        return ElementRole::settings_group;
    return ElementRole::generic;
}

ElementRole role_in(const OpenElement* parent, const std::string& name)
{
    if (parent == nullptr)
        return name == "TAMRO" ? ElementRole::wrapper : ElementRole::root;
    switch (parent->role) {
    case ElementRole::root: return ElementRole::login;
    case ElementRole::login: return ElementRole::block;
    case ElementRole::block: return command_role(name);
    case ElementRole::hotkey_config: return ElementRole::hotkey;
    case ElementRole::set_security_msg:
        if (name == "SECURITY_MSG") return ElementRole::security_msg;
        if (name == "SECURITY_MSG_TEXT") return ElementRole::text_holder;
        return ElementRole::child;
    case ElementRole::settings_group:
        if (parent->name == "MOD_TWOFACTOR_SETTINGS" &&
            (name == "IMPORT_CA_CERTIFICATE" || name == "IMPORT_USER_CERTIFICATE"))
            return ElementRole::text_holder;
        if (parent->name == "MOD_DIR_CONFIG" && name == "DIR_KERBEROS_KEYTAB")
            return ElementRole::text_holder;
        if (parent->name == "MOD_SNMP_QX_SETTINGS" &&
            (name == "SNMP_ADDRESS_1_TRAPCOMMUNITY" || name == "SNMP_ADDRESS_2_TRAPCOMMUNITY" ||
             name == "SNMP_ADDRESS_3_TRAPCOMMUNITY"))
            return ElementRole::trap_community;
        if (parent->name == "BLOB_WRITE" && name == "BLOB_DATA")
            return ElementRole::text_holder;
        return ElementRole::generic;
    default: return ElementRole::child;
    }
}

// Answers at the '>' of a start tag that opens content.
int answers_at_open(ElementRole role)
{
    switch (role) {
    case ElementRole::root:
    case ElementRole::login:
    case ElementRole::block:
    case ElementRole::generic:
    case ElementRole::add_user:
    case ElementRole::set_security_msg:
    case ElementRole::wrapper:
        return 1;
    default:
        return 0;
    }
}

// Answers at the closing tag.
int answers_at_close(ElementRole role)
{
    switch (role) {
    case ElementRole::root:
    case ElementRole::settings_group:
    case ElementRole::hotkey:
    case ElementRole::wrapper:
        return 0;
    case ElementRole::block:
        return 2;
    default:
        return 1;
    }
}

// Answers at the "/>" of an empty element.
int answers_at_empty(ElementRole role)
{
    switch (role) {
    case ElementRole::generic:
    case ElementRole::child:
    case ElementRole::security_msg:
    case ElementRole::trap_community:
    case ElementRole::wrapper:
        return 1;
    default:
        return 0;
    }
}

size_t length_attribute(const Tag& tag)
{
    const std::string* text = tag_attribute(tag, "IMAGE_LENGTH");
    if (text == nullptr)
        return 0;
    long long value = std::atoll(text->c_str());
    return value > 0 ? static_cast<size_t>(value) : 0;
}

} // namespace

CheckPoint judge_tag(Nesting& nesting, const Tag& tag)
{
    CheckPoint point;
    point.name = upper_name(tag.name);
    const OpenElement* parent = nesting.open.empty() ? nullptr : &nesting.open.back();

    if (tag.kind == TagKind::instruction) {
        point.name = "?" + point.name;
        point.answers_before = parent == nullptr ? 1 : 0;
        return point;
    }

    if (tag.kind == TagKind::end) {
        nesting.awaited_image_element.clear();
        if (nesting.open.empty())
            return point;
        OpenElement closed = nesting.open.back();
        nesting.open.pop_back();
        point.name = closed.name;
        point.answers_before = answers_at_close(closed.role);
        point.with_data = closed.role == ElementRole::generic && is_query_name(closed.name);
        if (!nesting.open.empty() && nesting.open.back().role == ElementRole::block) {
            point.command_done = true;
            point.command = closed.start;
        }
        return point;
    }

    // The element with the image length that follows the script's own image command.
    if (!nesting.awaited_image_element.empty() && point.name == nesting.awaited_image_element) {
        nesting.awaited_image_element.clear();
        point.answers_before = 1;
        point.action = CheckAction::receive_image;
        point.image_length = length_attribute(tag);
        point.answers_after = 1;
        return point;
    }
    nesting.awaited_image_element.clear();

    ElementRole role = role_in(parent, point.name);
    bool in_block = parent != nullptr && parent->role == ElementRole::block;
    if (!tag.empty) {
        if (role == ElementRole::wrapper) {
            point.answers_before = 1; // the wrapper stays open for good
            return point;
        }
        nesting.open.push_back(OpenElement{role, point.name, tag});
        point.answers_before = answers_at_open(role);
        return point;
    }
    if (in_block && is_command_role(role)) {
        point.command_done = true;
        point.command = tag;
    }
    if (role == ElementRole::image_send) {
        nesting.awaited_image_element = point.name;
        return point;
    }
    if (role == ElementRole::floppy_copy) {
        point.action = CheckAction::send_floppy;
        point.answers_after = 1;
        return point;
    }
    point.answers_before = answers_at_empty(role);
    point.with_data = role == ElementRole::generic && is_query_name(point.name);
    return point;
}
