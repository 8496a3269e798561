// Value checks and the actions the grammar runs at fixed points of a script.
// Actions that can stop the parse return 1 to stop it and 0 to go on.
#pragma once

#include "link/image_transfer.h"

constexpr int ACTION_BUFFER_SIZE = 2048;

// Response checks started by actions read into this buffer.
extern char action_buffer[ACTION_BUFFER_SIZE];
// IMAGE_LOCATION value of the current image command, at most 255 characters.
extern char image_location[IMAGE_LOCATION_SIZE];
// The checking pass flag as it was when the current LOGIN element began.
extern bool saved_checking_pass;

// Empty buffers, no image location, the link calls of the program.
void reset_actions();

// "Parse error: Line #n: <message>" on standard output, then one response
// check. Dropping a lookahead token is the caller's business.
void report_value_error(const char* message);

// Checks of attribute values.
int number_check(const char* value);
int integer_check(const char* value);
int mode_check(const char* value);
void boolean_check(const char* value);
void missing_boolean();
int user_name_check(const char* value);
int password_check(const char* value);
int hotkey_count_check(const char* value);

// Points of the conversation.
void declaration_action();
void instruction_action();
void root_opened();
void login_started();
void login_opened();
void response_action();
void block_closed();
void name_action(const char* name);
// Keeps an IMAGE_LOCATION value; a longer one stops the parse (1).
int keep_image_location(const char* value);
int firmware_action();
int floppy_insert_action();
int floppy_copy_action();
