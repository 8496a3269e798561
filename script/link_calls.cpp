#include "script/link_calls.h"

#include "records/run_context.h"
#include "link/image_transfer.h"
#include "link/stream_exchange.h"
#include "prepare/credential_override.h"

const ScriptLinkCalls script_link_calls_default = {
    token_send,
    masked_token_send,
    response_check,
    firmware_image_transfer,
    floppy_image_insert,
    floppy_image_copy,
    floppy_image_write,
    override_user_name,
    override_password,
    send_user_override,
    send_password_override,
};
