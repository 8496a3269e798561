// HTTP mode: the script body sent line by line, LOGIN lines rewritten for a
// credential override and firmware references replaced by a generated
// element. Run once to measure, once to send the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "records/firmware_reference.h"
#include "records/results.h"
#include "records/secret_attributes.h"

struct Link;
struct RunContext;

// What the measuring pass leaves for the sending pass: the body length for
// the Content-length, and the firmware elements it generated in script
// order, which the sending pass sends again as they are, so that the body
// matches its measured length even when an image changes in between.
struct BodyPlan {
    FirmwareReference firmware;  // the update the script asks for, if any
    int32_t length = 0;
    std::vector<std::string> firmware_elements;
    int32_t sent = 0;  // what the sending pass counted: length, when all went well
    // Where the checking pass read the script's secret values, in order:
    // the verbose trace of the sending pass shows them masked.
    std::vector<SecretSpan> secret_spans;
};

enum class [[nodiscard]] BodyPass {
    done,
    rejected,        // the script cannot be sent: message printed, run failed
    image_unopened,  // a firmware image cannot be opened: message printed,
                     // the run goes on (the upload meets the same file)
    skipped,         // sending pass: the run had already failed
};

// Measuring pass (send false): fills plan, sends nothing. Sending pass:
// sends the body that plan was measured for on link.
BodyPass script_body_pass(Link& link, bool send, BodyPlan& plan);

// Where the sending pass puts its text: like plain_send, with trace_text
// shown in the verbose trace in place of text (nullptr: text itself).
using BodySender = std::function<LinkResult(const char* text, const char* trace_text)>;

// script_body_pass for run with the sends going to sender.
BodyPass script_body_pass_through(RunContext& run, bool send, BodyPlan& plan, const BodySender& sender);
