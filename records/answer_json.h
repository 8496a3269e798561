// The processor's answers as JSON: its XML read with expat and mapped by
// one rule, whatever arrives (several documents one after another, one
// declaration per answer, an answer cut short or malformed).
//
// The rule. Each RESPONSE element (a child of the document's root, or the
// root itself) starts an answer: its STATUS (hexadecimal "0x...") becomes
// "status", its MESSAGE "message". The root's other children up to the
// next RESPONSE are the answer's data: one object whose members are those
// elements by name. An element becomes an object: its attributes are
// members holding their text, its child elements members holding their
// objects, its text (trimmed, when not blank) the member "#text". A name
// met more than once in one object becomes an array of its values, in
// order. The value of a secret attribute (records/secret_attributes.h), and
// every value inside an element named like one, shows as "********".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

struct AnswerEntry {
    nlohmann::ordered_json status;   // number, or null when absent or unreadable
    nlohmann::ordered_json message;  // text, or null when absent
    nlohmann::ordered_json data;     // object, or null when the answer carries none
    std::string data_name;   // the first data element's name, "" when none
    bool complete = true;    // false: cut short or malformed
    std::string problem;     // why it is not complete
};

// Elements nested deeper than this are left out of the data (counted in the
// problem text); a processor's answers nest a few levels at most.
constexpr size_t ANSWER_DEPTH_LIMIT = 64;

// The answers in text, in order, at most `most` of them. A stretch that
// holds no RESPONSE but is not blank (a document cut before it, or text
// that is no XML) gives an incomplete entry of its own.
std::vector<AnswerEntry> read_answers(std::string_view text, size_t most);
// The same, and the RESPONSE elements past the first `most` are counted in
// left_out: the text is then read to its end.
std::vector<AnswerEntry> read_answers(std::string_view text, size_t most, size_t& left_out);
