// The operations of the other subsystems that the script checker calls while
// it parses: the token send and response check of the stream exchange, the
// image transfers, and the credential override. A reader reaches them
// through its own copy of this table, so that a harness can watch a whole
// conversation without a processor; the program's readers hold the real
// operations. Each link operation works on the reader's link.
#pragma once

#include "records/results.h"

struct Link;

struct ScriptLinkCalls {
    LinkResult (*token_send)(Link& link, const char* token);
    LinkResult (*masked_token_send)(Link& link, const char* token);  // traced as "********"
    LinkResult (*response_check)(Link& link, char* buffer, int size);
    LinkResult (*firmware_image_transfer)(Link& link, const char* location);
    LinkResult (*floppy_image_insert)(Link& link, const char* location);
    LinkResult (*floppy_image_copy)(Link& link, const char* location);
    LinkResult (*floppy_image_write)(Link& link);
    // The credentials the command line gave ("" for none) and the sends of
    // the LOGIN attributes that take the place of the script's.
    const char* (*override_user_name)(Link& link);
    const char* (*override_password)(Link& link);
    void (*send_user_override)(Link& link);
    void (*send_password_override)(Link& link);
};

// The table as the program sets it up.
extern const ScriptLinkCalls script_link_calls_default;
