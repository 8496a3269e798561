// The operations of the other subsystems that the script checker calls while
// it parses: the token send and response check of the stream exchange, the
// image transfers, and the credential override. A reader reaches them
// through its own copy of this table, so that a harness can watch a whole
// conversation without a processor; the program's readers hold the real
// operations.
#pragma once

#include "records/results.h"

struct ScriptLinkCalls {
    LinkResult (*token_send)(const char* token);
    LinkResult (*masked_token_send)(const char* token);  // traced as "********"
    LinkResult (*response_check)(char* buffer, int size);
    LinkResult (*firmware_image_transfer)(const char* location);
    LinkResult (*floppy_image_insert)(const char* location);
    LinkResult (*floppy_image_copy)(const char* location);
    LinkResult (*floppy_image_write)();
    bool (*credentials_overridden)();
    void (*send_login_override)();
    const char* (*get_password)();
};

// The table as the program sets it up.
extern const ScriptLinkCalls script_link_calls_default;
