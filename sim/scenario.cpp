#include "sim/scenario.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct LineCursor {
    const std::string& line;
    size_t position = 0;
    std::string error;
};

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Next word of the line: a bare word up to a blank, or a quoted text with
// the escapes \r \n \t \\ \' \" \xHH. Returns false at the end of the line
// (or at a comment) and on a broken quote (error set).
bool next_word(LineCursor& cursor, std::string& word)
{
    const std::string& line = cursor.line;
    size_t& at = cursor.position;
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
        ++at;
    if (at >= line.size() || line[at] == '#')
        return false;
    word.clear();
    char quote = line[at];
    if (quote != '"' && quote != '\'') {
        while (at < line.size() && line[at] != ' ' && line[at] != '\t')
            word += line[at++];
        return true;
    }
    ++at;
    while (at < line.size() && line[at] != quote) {
        char c = line[at++];
        if (c != '\\' || at >= line.size()) {
            word += c;
            continue;
        }
        char e = line[at++];
        switch (e) {
        case 'r': word += '\r'; break;
        case 'n': word += '\n'; break;
        case 't': word += '\t'; break;
        case 'x':
            if (at + 1 < line.size() && hex_digit(line[at]) >= 0 && hex_digit(line[at + 1]) >= 0) {
                word += static_cast<char>(hex_digit(line[at]) * 16 + hex_digit(line[at + 1]));
                at += 2;
            } else {
                cursor.error = "bad \\x escape";
                return false;
            }
            break;
        default: word += e; break;
        }
    }
    if (at >= line.size()) {
        cursor.error = "unclosed quote";
        return false;
    }
    ++at;
    return true;
}

bool to_count(const std::string& word, long low, long high, long& value)
{
    if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(word.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool to_sizes(const std::string& word, std::vector<size_t>& sizes)
{
    sizes.clear();
    std::stringstream parts(word);
    std::string part;
    while (std::getline(parts, part, ',')) {
        long size = 0;
        if (!to_count(part, 1, 64L * 1024 * 1024, size))
            return false;
        sizes.push_back(static_cast<size_t>(size));
    }
    return !sizes.empty();
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The actions after a selector, up to the end of the line.
bool read_actions(LineCursor& cursor, AnswerChanges& changes)
{
    std::string word;
    int count = 0;
    while (next_word(cursor, word)) {
        ++count;
        std::string value;
        auto need_value = [&](const char* what) {
            if (next_word(cursor, value))
                return true;
            if (cursor.error.empty())
                cursor.error = std::string("'") + what + "' needs a value";
            return false;
        };
        long number = 0;
        if (word == "status") {
            if (!need_value("status")) return false;
            changes.has_status = true;
            changes.status = value;
        } else if (word == "message") {
            if (!need_value("message")) return false;
            changes.has_message = true;
            changes.message = value;
        } else if (word == "version") {
            if (!need_value("version")) return false;
            changes.has_version = true;
            changes.version = value;
        } else if (word == "raw") {
            if (!need_value("raw")) return false;
            changes.has_raw = true;
            changes.raw = value;
        } else if (word == "extra") {
            if (!need_value("extra")) return false;
            changes.has_extra = true;
            changes.extra = value;
        } else if (word == "head") {
            if (!need_value("head")) return false;
            changes.has_head = true;
            changes.head = value;
        } else if (word == "length") {
            if (!need_value("length")) return false;
            changes.has_length_field = true;
            changes.length_field = value;
        } else if (word == "image") {
            if (!need_value("image")) return false;
            changes.has_image = true;
            changes.image = value;
        } else if (word == "split" || word == "chunks" || word == "head-split") {
            if (!need_value(word.c_str())) return false;
            if (!to_sizes(value, word == "split" ? changes.split
                                 : word == "chunks" ? changes.chunks : changes.head_split)) {
                cursor.error = "'" + word + "' takes sizes like 10,20,30";
                return false;
            }
        } else if (word == "long") {
            if (!need_value("long")) return false;
            if (!to_count(value, 1, 64L * 1024 * 1024, number)) {
                cursor.error = "'long' takes a byte count";
                return false;
            }
            changes.long_size = static_cast<size_t>(number);
        } else if (word == "delay") {
            if (!need_value("delay")) return false;
            if (!to_count(value, 0, 600000, number)) {
                cursor.error = "'delay' takes milliseconds";
                return false;
            }
            changes.delay_ms = static_cast<int>(number);
        } else if (word == "silent") {
            changes.silent = true;
        } else if (word == "close") {
            changes.close_before = CloseMode::notify;
        } else if (word == "drop") {
            changes.close_before = CloseMode::drop;
        } else if (word == "close-after") {
            changes.close_after = CloseMode::notify;
        } else if (word == "drop-after") {
            changes.close_after = CloseMode::drop;
        } else if (word == "plain") {
            changes.no_data = true;
        } else {
            cursor.error = "unknown action '" + word + "'";
            return false;
        }
    }
    if (!cursor.error.empty())
        return false;
    if (count == 0) {
        cursor.error = "no action given";
        return false;
    }
    return true;
}

bool parse_line(const std::string& line, Scenario& scenario, std::string& error)
{
    LineCursor cursor{line, 0, ""};
    std::string word;
    if (!next_word(cursor, word)) {
        error = cursor.error;
        return cursor.error.empty();
    }
    if (word == "cookie") {
        std::string value;
        if (!next_word(cursor, value)) {
            error = "'cookie' needs a value or 'none'";
            return false;
        }
        if (value == "none") {
            scenario.send_cookie = false;
        } else {
            scenario.send_cookie = true;
            scenario.cookie_value = value;
        }
    } else if (word == "flash") {
        std::string value;
        if (!next_word(cursor, value) || (value != "never" && value != "ok")) {
            error = "'flash' takes 'never' or 'ok'";
            return false;
        }
        scenario.flash_completes = value == "ok";
    } else {
        ScenarioRule rule;
        long number = 0;
        if (word == "conn") {
            if (!next_word(cursor, word) || !to_count(word, 1, 1000000, number)) {
                error = "'conn' takes a connection number";
                return false;
            }
            rule.connection = static_cast<int>(number);
            if (!next_word(cursor, word)) {
                error = "'conn N' must be followed by a selector";
                return false;
            }
        }
        if (word == "response") {
            if (!next_word(cursor, word) || !to_count(word, 1, 100000000, number)) {
                error = "'response' takes an answer number";
                return false;
            }
            rule.number = static_cast<int>(number);
        } else if (word == "command") {
            if (!next_word(cursor, word)) {
                error = "'command' takes an element name";
                return false;
            }
            rule.command = upper(word);
        } else if (word != "every") {
            error = "unknown line start '" + word + "'";
            return false;
        }
        if (!read_actions(cursor, rule.changes)) {
            error = cursor.error;
            return false;
        }
        scenario.rules.push_back(rule);
        return true;
    }
    if (next_word(cursor, word)) {
        error = "unexpected '" + word + "'";
        return false;
    }
    return true;
}

void merge(AnswerChanges& into, const AnswerChanges& from)
{
    if (from.has_status) { into.has_status = true; into.status = from.status; }
    if (from.has_message) { into.has_message = true; into.message = from.message; }
    if (from.has_version) { into.has_version = true; into.version = from.version; }
    if (from.has_raw) { into.has_raw = true; into.raw = from.raw; }
    if (from.has_extra) { into.has_extra = true; into.extra = from.extra; }
    if (from.has_length_field) { into.has_length_field = true; into.length_field = from.length_field; }
    if (from.has_head) { into.has_head = true; into.head = from.head; }
    if (from.has_image) { into.has_image = true; into.image = from.image; }
    if (from.no_data) into.no_data = true;
    if (!from.split.empty()) into.split = from.split;
    if (!from.chunks.empty()) into.chunks = from.chunks;
    if (!from.head_split.empty()) into.head_split = from.head_split;
    if (from.long_size != 0) into.long_size = from.long_size;
    if (from.delay_ms != 0) into.delay_ms = from.delay_ms;
    if (from.silent) into.silent = true;
    if (from.close_before != CloseMode::none) into.close_before = from.close_before;
    if (from.close_after != CloseMode::none) into.close_after = from.close_after;
}

} // namespace

int parse_scenario(const std::string& text, const std::string& origin, Scenario& scenario,
                   std::string& error)
{
    std::stringstream lines(text);
    std::string line;
    int line_number = 0;
    while (std::getline(lines, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string reason;
        if (!parse_line(line, scenario, reason)) {
            error = origin + ":" + std::to_string(line_number) + ": " + reason;
            return 1;
        }
    }
    return 0;
}

int load_scenario(const std::string& path, Scenario& scenario, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open the scenario file";
        return 1;
    }
    std::stringstream text;
    text << file.rdbuf();
    return parse_scenario(text.str(), path, scenario, error);
}

AnswerChanges changes_for_answer(const Scenario& scenario, int connection, int number,
                                 const std::string& command)
{
    AnswerChanges merged;
    std::string name = upper(command);
    for (const ScenarioRule& rule : scenario.rules) {
        if (rule.connection != 0 && rule.connection != connection)
            continue;
        if (rule.number != 0 && rule.number != number)
            continue;
        if (!rule.command.empty() && rule.command != name)
            continue;
        merge(merged, rule.changes);
    }
    return merged;
}

AnswerChanges changes_for_reply_head(const Scenario& scenario, int connection)
{
    AnswerChanges merged;
    for (const ScenarioRule& rule : scenario.rules) {
        if (rule.connection != 0 && rule.connection != connection)
            continue;
        if (rule.number == 0 && rule.command.empty())
            merge(merged, rule.changes);
    }
    return merged;
}
