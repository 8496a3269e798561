// Value checks and the actions the grammar runs at fixed points of a script.
// Actions that can stop the parse return 1 to stop it and 0 to go on. Each
// works on the reader whose script is being parsed.
#pragma once

struct ScriptReader;

// Response checks started by actions read into the reader's action buffer.
constexpr int ACTION_BUFFER_SIZE = 2048;

// "Parse error: Line #n: <message>" on standard output, then one response
// check. Dropping a lookahead token is the caller's business.
// allowed: what the value must be, value: the value as written (quoted in
// the cause of the failure), or nullptr.
void report_value_error(ScriptReader& reader, const char* message, const char* allowed = nullptr,
                        const char* value = nullptr);

// Checks of attribute values.
int number_check(ScriptReader& reader, const char* value);
int integer_check(ScriptReader& reader, const char* value);
int mode_check(ScriptReader& reader, const char* value);
void boolean_check(ScriptReader& reader, const char* value);
void missing_boolean(ScriptReader& reader);
int user_name_check(ScriptReader& reader, const char* value);
int password_check(ScriptReader& reader, const char* value);
int hotkey_count_check(ScriptReader& reader, const char* value);

// Points of the conversation.
void declaration_action(ScriptReader& reader);
void instruction_action(ScriptReader& reader);
void root_opened(ScriptReader& reader);
void login_started(ScriptReader& reader);
void login_user_read(ScriptReader& reader);
void login_opened(ScriptReader& reader);
void response_action(ScriptReader& reader);
void block_closed(ScriptReader& reader);
void name_action(ScriptReader& reader, const char* name);
// Keeps an IMAGE_LOCATION value; a longer one stops the parse (1).
int keep_image_location(ScriptReader& reader, const char* value);
int firmware_action(ScriptReader& reader);
int floppy_insert_action(ScriptReader& reader);
int floppy_copy_action(ScriptReader& reader);
