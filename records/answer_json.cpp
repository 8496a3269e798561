#include "records/answer_json.h"

#include <expat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

#include "records/secret_attributes.h"

namespace {

using json = nlohmann::ordered_json;

bool is_blank_text(std::string_view text)
{
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    return true;
}

std::string_view trimmed(std::string_view text)
{
    size_t first = 0;
    while (first < text.size() && is_blank_text(text.substr(first, 1)))
        ++first;
    size_t last = text.size();
    while (last > first && is_blank_text(text.substr(last - 1, 1)))
        --last;
    return text.substr(first, last - first);
}

// "0x003C" -> 60; null when it is no hexadecimal number.
json status_value(const char* text)
{
    const char* digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits += 2;
    if (*digits == '\0' || std::strlen(digits) > 8)
        return nullptr;
    char* end = nullptr;
    unsigned long value = std::strtoul(digits, &end, 16);
    if (end == nullptr || *end != '\0')
        return nullptr;
    return value;
}

// Puts value under name; a name met before turns into an array.
void add_member(json& object, const std::string& name, json value)
{
    auto found = object.find(name);
    if (found == object.end()) {
        object[name] = std::move(value);
        return;
    }
    if (!found->is_array()) {
        json first = std::move(*found);
        *found = json::array();
        found->push_back(std::move(first));
    }
    found->push_back(std::move(value));
}

struct OpenElement {
    std::string name;
    json object;
    std::string text;
    bool secret;
};

// One pass of expat over one stretch of the text.
struct Reader {
    Reader(std::vector<AnswerEntry>& into, size_t limit, size_t* past) : answers(into), most(limit), past_most(past) {}

    std::vector<AnswerEntry>& answers;
    size_t most;
    size_t* past_most;          // counts the answers past most, when given
    XML_Parser parser = nullptr;
    size_t depth = 0;           // of the element being read, 0 outside the root
    bool root_seen = false;
    bool root_closed = false;
    bool answer_open = false;   // an answer of this stretch takes data
    bool stretch_has_answer = false;
    std::vector<OpenElement> open;  // the data elements being read
    std::vector<bool> pushed;   // per started element: it is in open
    size_t left_out = 0;        // elements past the depth limit

    AnswerEntry* current() { return answer_open && !answers.empty() ? &answers.back() : nullptr; }

    void start(const char* name, const char** attributes)
    {
        ++depth;
        pushed.push_back(false);
        if (depth == 1)
            root_seen = true;
        std::string_view element(name);
        if (element == "RESPONSE" && depth <= 2) {
            if (answers.size() >= most) {
                answer_open = false;
                if (past_most != nullptr)
                    ++*past_most;
                return;
            }
            AnswerEntry entry;
            for (const char** a = attributes; a[0] != nullptr; a += 2) {
                if (std::strcmp(a[0], "STATUS") == 0)
                    entry.status = status_value(a[1]);
                else if (std::strcmp(a[0], "MESSAGE") == 0)
                    entry.message = a[1];
            }
            answers.push_back(std::move(entry));
            answer_open = true;
            stretch_has_answer = true;
            return;
        }
        if (depth < 2)
            return;
        if (!open.empty() || (depth == 2 && current() != nullptr)) {
            if (open.size() >= ANSWER_DEPTH_LIMIT) {
                ++left_out;
                return;
            }
            bool secret = is_secret_attribute(element) || (!open.empty() && open.back().secret);
            OpenElement item{std::string(element), json::object(), {}, secret};
            for (const char** a = attributes; a[0] != nullptr; a += 2) {
                bool masked = secret || is_secret_attribute(a[0]);
                add_member(item.object, a[0], masked ? json(MASKED_SECRET) : json(a[1]));
            }
            open.push_back(std::move(item));
            pushed.back() = true;
        }
    }

    void end(const char* name)
    {
        size_t ending = depth;
        if (depth > 0)
            --depth;
        if (ending == 1)
            root_closed = true;
        static_cast<void>(name);
        bool was_pushed = !pushed.empty() && pushed.back();
        if (!pushed.empty())
            pushed.pop_back();
        if (!was_pushed || open.empty())
            return;
        OpenElement done = std::move(open.back());
        open.pop_back();
        std::string_view text = trimmed(done.text);
        if (!text.empty())
            add_member(done.object, "#text", done.secret ? json(MASKED_SECRET) : json(std::string(text)));
        if (!open.empty()) {
            add_member(open.back().object, done.name, std::move(done.object));
        } else if (AnswerEntry* entry = current()) {
            if (entry->data.is_null()) {
                entry->data = json::object();
                entry->data_name = done.name;
            }
            add_member(entry->data, done.name, std::move(done.object));
        }
    }

    void text(const char* data, int length)
    {
        if (!open.empty() && open.back().text.size() < (1u << 20))
            open.back().text.append(data, static_cast<size_t>(length));
    }

    static void XMLCALL on_start(void* self, const char* name, const char** attributes)
    {
        static_cast<Reader*>(self)->start(name, attributes);
    }
    static void XMLCALL on_end(void* self, const char* name)
    {
        static_cast<Reader*>(self)->end(name);
    }
    static void XMLCALL on_text(void* self, const char* data, int length)
    {
        static_cast<Reader*>(self)->text(data, length);
    }
};

// One parser for each thread, reset for each stretch: a new parser per
// answer cost more than the rest of the mapping. Its hash salt is drawn
// once, not once per reset. It holds nothing of a run between calls.
class SharedParser {
public:
    ~SharedParser()
    {
        if (parser_ != nullptr)
            XML_ParserFree(parser_);
    }

    XML_Parser fresh()
    {
        if (parser_ == nullptr) {
            parser_ = XML_ParserCreate(nullptr);
            std::random_device random;
            salt_ = (static_cast<unsigned long>(random()) << 16) ^ random();
            if (salt_ == 0)
                salt_ = 1;
        } else if (XML_ParserReset(parser_, nullptr) != XML_TRUE) {
            XML_ParserFree(parser_);
            parser_ = XML_ParserCreate(nullptr);
        }
        if (parser_ != nullptr)
            XML_SetHashSalt(parser_, salt_);
        return parser_;
    }

private:
    XML_Parser parser_ = nullptr;
    unsigned long salt_ = 0;
};

thread_local SharedParser shared_parser;

// Where the next document may start at or after from: its declaration.
size_t next_declaration(std::string_view text, size_t from)
{
    size_t at = text.find("<?xml", from);
    return at == std::string_view::npos ? text.size() : at;
}

// The incomplete answer a stretch gives when it breaks off: the open answer
// says so, or an entry of its own when it had none.
void mark_broken(Reader& reader, std::vector<AnswerEntry>& answers, size_t most, const char* problem)
{
    if (AnswerEntry* entry = reader.current()) {
        entry->complete = false;
        entry->problem = problem;
        return;
    }
    if (answers.size() >= most)
        return;
    AnswerEntry entry;
    entry.complete = false;
    entry.problem = problem;
    answers.push_back(std::move(entry));
}

std::vector<AnswerEntry> read_answers_counting(std::string_view text, size_t most, size_t* left_out)
{
    std::vector<AnswerEntry> answers;
    size_t offset = 0;
    while (offset < text.size() && (answers.size() < most || left_out != nullptr)) {
        std::string_view stretch = text.substr(offset);
        if (is_blank_text(stretch))
            break;
        Reader reader(answers, most, left_out);
        reader.parser = shared_parser.fresh();
        if (reader.parser == nullptr)
            break;
        XML_SetUserData(reader.parser, &reader);
        XML_SetElementHandler(reader.parser, Reader::on_start, Reader::on_end);
        XML_SetCharacterDataHandler(reader.parser, Reader::on_text);
        // Stretches beyond int's range are read in pieces.
        XML_Status status = XML_STATUS_OK;
        size_t fed = 0;
        constexpr size_t PIECE = 1u << 30;
        do {
            size_t piece = std::min(PIECE, stretch.size() - fed);
            bool last = fed + piece == stretch.size();
            status = XML_Parse(reader.parser, stretch.data() + fed, static_cast<int>(piece), last ? 1 : 0);
            fed += piece;
        } while (status == XML_STATUS_OK && fed < stretch.size());
        XML_Error error = XML_GetErrorCode(reader.parser);
        XML_Index stopped = XML_GetCurrentByteIndex(reader.parser);
        if (reader.left_out > 0 && reader.current() != nullptr) {
            reader.current()->complete = false;
            reader.current()->problem = "nested too deeply: inner elements left out";
        }
        if (status == XML_STATUS_OK)
            break;
        size_t at = stopped < 0 ? 0 : static_cast<size_t>(stopped);
        if (reader.root_closed && reader.depth == 0) {
            // The document ended; what follows is the next one.
            offset += std::max<size_t>(at, 1);
            continue;
        }
        mark_broken(reader, answers, most,
                    error == XML_ERROR_NO_ELEMENTS || error == XML_ERROR_UNCLOSED_TOKEN ||
                            error == XML_ERROR_PARTIAL_CHAR
                        ? "cut short"
                        : XML_ErrorString(error));
        // Whatever else came may still hold whole answers.
        offset = next_declaration(text, offset + std::max<size_t>(at, 1));
    }
    return answers;
}

}  // namespace

std::vector<AnswerEntry> read_answers(std::string_view text, size_t most)
{
    return read_answers_counting(text, most, nullptr);
}

std::vector<AnswerEntry> read_answers(std::string_view text, size_t most, size_t& left_out)
{
    return read_answers_counting(text, most, &left_out);
}
