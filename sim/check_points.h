// The processor's view of the command nesting: which tags it answers, and
// how often. Depth 0 is the MOXCL root, 1 LOGIN, 2 a command block, 3 a
// command, 4 a command's child (or a command inside a settings group).
#pragma once

#include <string>
#include <vector>

#include "sim/tag_reader.h"

enum class ElementRole {
    root, login, block, generic, child, image_send, floppy_copy, hotkey_config, hotkey,
    add_user, text_holder, set_security_msg, security_msg, settings_group, trap_community,
    wrapper
};

struct OpenElement {
    ElementRole role;
    std::string name; // upper case
    Tag start;
};

struct Nesting {
    std::vector<OpenElement> open;
    // The script's own UPDATE_MOX_FIRMWARE or INSERT_VIRTUAL_FLOPPY went by
    // unanswered; the element with the image length follows.
    std::string awaited_image_element;
};

enum class CheckAction { none, receive_image, send_floppy };

struct CheckPoint {
    int answers_before = 0;  // answers due right away
    CheckAction action = CheckAction::none;
    int answers_after = 0;   // answers due once the action is done
    bool with_data = false;  // a GET-style answer carrying a data element
    std::string name;        // upper-cased element name the answers belong to
    size_t image_length = 0; // receive_image: bytes announced
    // A command (child of a command block) ended here, with its start tag.
    bool command_done = false;
    Tag command;
};

CheckPoint judge_tag(Nesting& nesting, const Tag& tag);

std::string upper_name(const std::string& name);

// Names whose answers carry data: GET... and CERTIFICATE_SIGNING_REQUEST...
bool is_query_name(const std::string& upper);
