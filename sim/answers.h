// Sending one numbered answer, with the scenario's changes applied.
#pragma once

#include <string>

#include "sim/peer_link.h"
#include "sim/scenario.h"

struct AnswerRequest {
    std::string command;          // upper-cased element name
    bool with_data = false;
    std::string status = "0x0000";
    std::string message = "No error";
    bool as_chunk = false;        // HTTP mode: framed as chunks
    bool literal = false;         // `text` is the whole answer as it stands
    std::string text;
};

// Numbers the next answer, looks up its changes, waits the scenario's
// delay and closes the connection instead of answering when asked to.
// Check link_is_open() afterwards.
AnswerChanges begin_answer(PeerLink& link, const std::string& command);

// Writes the answer begun with begin_answer. False once the connection ended.
bool finish_answer(PeerLink& link, const AnswerRequest& request, const AnswerChanges& changes);

bool send_answer(PeerLink& link, const AnswerRequest& request);

// The wait of --answer-delay, before every response of stream mode and
// every HTTP reply (the scenario's `delay` comes on top).
void wait_answer_delay();
