// Scenario files: per-answer overrides of what the simulated processor says.
// The language is described in sim/README.md.
#pragma once

#include <string>
#include <vector>

enum class CloseMode { none, notify, drop };

// The changes one scenario line asks for. A field left unset keeps the
// normal answer.
struct AnswerChanges {
    bool has_status = false;
    std::string status;
    bool has_message = false;
    std::string message;
    bool has_version = false;
    std::string version;
    bool has_raw = false;
    std::string raw;            // sent instead of the formatted answer
    bool has_extra = false;
    std::string extra;          // put right after the MESSAGE value
    bool no_data = false;       // leave out the data element of GET commands
    std::vector<size_t> split;  // write sizes for the answer's bytes
    std::vector<size_t> chunks; // HTTP: chunk sizes for the answer's text
    size_t long_size = 0;       // pad the answer to this many bytes
    int delay_ms = 0;
    bool silent = false;        // never answer: read on until the client goes
    CloseMode close_before = CloseMode::none; // instead of answering
    CloseMode close_after = CloseMode::none;  // once the answer is out
    bool has_length_field = false;
    std::string length_field;   // COPY_VIRTUAL_FLOPPY length field text
    bool has_image = false;
    std::string image;          // COPY_VIRTUAL_FLOPPY: file sent instead of the floppy image
    bool has_head = false;
    std::string head;           // HTTP: the /moxcl reply head, as sent
    std::vector<size_t> head_split; // HTTP: write sizes for the /moxcl reply head
};

struct ScenarioRule {
    int connection = 0;   // 0 = every connection
    int number = 0;       // 0 = any answer number
    std::string command;  // empty = any command (upper case)
    AnswerChanges changes;
};

// One step of a connection that plays exact bytes instead of a processor.
// Only a program linking mpsim_core sets these up (a test that needs a peer
// to do precisely this); scenario files have no words for them.
struct ByteStep {
    enum class Kind { send, read_until, read_count, drop } kind = Kind::send;
    std::string text;  // send: the bytes, in one write; read_until: the marker
    size_t count = 0;  // read_count: the bytes to take
};

struct Scenario {
    std::vector<ScenarioRule> rules;
    // When not empty, every connection plays these steps after the
    // handshake instead of answering as a processor.
    std::vector<ByteStep> byte_steps;
    bool send_cookie = true;
    std::string cookie_value;   // empty: a fresh random value per upload
    bool flash_completes = true;
};

// Reads a scenario file. Returns 0, or 1 with "FILE:LINE: reason" in error.
int load_scenario(const std::string& path, Scenario& scenario, std::string& error);

// Parses scenario text (the file's contents); `origin` names it in errors.
int parse_scenario(const std::string& text, const std::string& origin, Scenario& scenario,
                   std::string& error);

// The merged changes of every rule that matches answer `number` (from 1) of
// connection `connection` (from 1), given by the element `command`; later
// lines win over earlier ones.
AnswerChanges changes_for_answer(const Scenario& scenario, int connection, int number,
                                 const std::string& command);

// The changes for the HTTP reply head of connection `connection`: only
// rules that select every answer apply, since the head is not one.
AnswerChanges changes_for_reply_head(const Scenario& scenario, int connection);
