// HTTP mode: the script body sent line by line, LOGIN lines rewritten for a
// credential override and firmware references replaced by a generated
// element. Run once to measure, once to send the same bytes.
#pragma once

#include <cstdint>
#include <string>

struct FirmwareReference {
    bool firmware_update_present = false;
    std::string firmware_image_path;
    int32_t firmware_image_length = 0;
    std::string multipart_boundary;
};

extern FirmwareReference firmware_reference;

// 0 after the last line, -1 when a firmware reference is rejected or its
// image cannot be opened, run_status when sending and it is non-zero.
// length is reset and receives the body byte count.
int script_body_pass(bool send, int32_t& length);

// Where the sending pass puts its text: like plain_send, with trace_text
// shown in the verbose trace in place of text (nullptr: text itself).
using BodySender = int (*)(const char* text, const char* trace_text);

// script_body_pass with the sends going to sender.
int script_body_pass_through(bool send, int32_t& length, BodySender sender);
