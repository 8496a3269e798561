// Value checks and the actions the grammar runs at fixed points of a script.
#pragma once

constexpr int ACTION_BUFFER_SIZE = 2048;
constexpr int IMAGE_LOCATION_SIZE = 256;

// Response checks started by actions read into this buffer.
extern char action_buffer[ACTION_BUFFER_SIZE];
// IMAGE_LOCATION value of the current image command, at most 255 characters.
extern char image_location[IMAGE_LOCATION_SIZE];

// "Parse error: Line #n: <message>" on standard output, then one response
// check. Dropping a lookahead token is the caller's business.
void report_value_error(const char* message);
