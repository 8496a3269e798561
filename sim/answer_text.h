// The text of one answer in the processor's response status format.
#pragma once

#include <string>

#include "sim/scenario.h"
#include "sim/written_settings.h"

struct AnswerContent {
    std::string version;          // VERSION of the MOXCL root
    std::string status = "0x0000";
    std::string message = "No error";
    std::string command;          // upper-cased element the answer belongs to
    bool with_data = false;       // add a data element for the command
    int number = 0;               // answer number on the connection
    std::string identity;         // --identity: the processor whose data GET commands get
    bool older_generation = false;  // stream mode: an older processor's data
    const WrittenSettings* written = nullptr;  // what the processor's writes set (with an identity)
};

// Applies the scenario's status, message, version, data switch.
void apply_changes(AnswerContent& content, const AnswerChanges& changes);

// The whole answer: declaration, MOXCL root, RESPONSE, data, padding to
// `changes.long_size`, closing root tag; or the raw text of the scenario.
std::string format_answer(const AnswerContent& content, const AnswerChanges& changes);

// The data element a query command answers with: a processor's own data
// for the common GET commands when an identity is given (sim/processor_data.h).
std::string data_element(const std::string& command, const std::string& identity = "",
                         bool older_generation = false, const WrittenSettings* written = nullptr);
