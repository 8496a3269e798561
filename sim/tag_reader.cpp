#include "sim/tag_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>

namespace {

// A tag that does not end within this many bytes is taken as text.
constexpr size_t longest_tag = 4 * 1024 * 1024;

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool starts_with_at(const std::string& text, size_t at, const char* prefix)
{
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

// True when the rest of `text` from `at` could still grow into `prefix`.
bool could_become(const std::string& text, size_t at, const char* prefix)
{
    size_t have = text.size() - at;
    size_t want = std::strlen(prefix);
    return have < want && text.compare(at, have, prefix, have) == 0;
}

void compact(TagReader& reader)
{
    if (reader.position > 65536 || reader.position == reader.pending.size()) {
        reader.pending.erase(0, reader.position);
        reader.position = 0;
    }
}

size_t skip_spaces(const std::string& text, size_t at, size_t end)
{
    while (at < end && is_space(text[at]))
        ++at;
    return at;
}

size_t read_name(const std::string& text, size_t at, size_t end, std::string& name)
{
    name.clear();
    while (at < end && !is_space(text[at]) && text[at] != '/' && text[at] != '>' &&
           text[at] != '=' && text[at] != '"' && text[at] != '\'')
        name += text[at++];
    return at;
}

// Attributes between the element name and the tag end, loosely: names,
// optional "=" and a quoted or bare value.
void read_attributes(const std::string& text, size_t at, size_t end, Tag& tag)
{
    while (true) {
        at = skip_spaces(text, at, end);
        if (at >= end)
            return;
        std::string name;
        size_t after = read_name(text, at, end, name);
        if (after == at && text[at] != '=') {
            ++at; // a stray quote or slash
            continue;
        }
        at = skip_spaces(text, after, end);
        std::string value;
        if (at < end && text[at] == '=') {
            at = skip_spaces(text, at + 1, end);
            if (at < end && (text[at] == '"' || text[at] == '\'')) {
                char quote = text[at++];
                while (at < end && text[at] != quote)
                    value += text[at++];
                if (at < end)
                    ++at;
            } else {
                at = read_name(text, at, end, value);
            }
        }
        tag.attributes.emplace_back(name, value);
    }
}

// Index of the '>' that ends the start tag opened at `at`, skipping quoted
// values; npos while it has not arrived.
size_t find_tag_end(const std::string& text, size_t at)
{
    char quote = 0;
    for (size_t i = at; i < text.size(); ++i) {
        char c = text[i];
        if (quote != 0) {
            if (c == quote || c == '\n')
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        } else if (c == '<' && i > at) {
            return std::string::npos - 1; // a new tag began: this one is broken
        }
    }
    return std::string::npos;
}

} // namespace

void reader_feed(TagReader& reader, const char* data, size_t length)
{
    reader.pending.append(data, length);
}

size_t reader_waiting(const TagReader& reader)
{
    return reader.pending.size() - reader.position;
}

void reader_take_raw(TagReader& reader, std::string& out, size_t count)
{
    size_t take = std::min(count, reader_waiting(reader));
    out.append(reader.pending, reader.position, take);
    reader.position += take;
    compact(reader);
}

void reader_drop_line_end(TagReader& reader)
{
    if (starts_with_at(reader.pending, reader.position, "\r\n"))
        reader.position += 2;
    else if (starts_with_at(reader.pending, reader.position, "\n"))
        reader.position += 1;
    compact(reader);
}

bool reader_next(TagReader& reader, Tag& tag)
{
    std::string& text = reader.pending;
    while (true) {
        size_t open = text.find('<', reader.position);
        if (open == std::string::npos) {
            reader.position = text.size();
            compact(reader);
            return false;
        }
        reader.position = open;
        size_t have = text.size() - open;
        if (have < 2 || could_become(text, open, "<!--") || could_become(text, open, "<![CDATA["))
            return false;
        size_t skip_to = std::string::npos;
        if (starts_with_at(text, open, "<!--")) {
            size_t close = text.find("-->", open + 4);
            if (close == std::string::npos)
                return false;
            skip_to = close + 3;
        } else if (starts_with_at(text, open, "<![CDATA[")) {
            size_t close = text.find("]]>", open + 9);
            if (close == std::string::npos)
                return false;
            skip_to = close + 3;
        } else if (text[open + 1] == '!') {
            size_t close = text.find('>', open);
            if (close == std::string::npos)
                return false;
            skip_to = close + 1;
        }
        if (skip_to != std::string::npos) {
            reader.position = skip_to;
            continue;
        }

        tag = Tag{};
        if (text[open + 1] == '?') {
            size_t close = text.find("?>", open + 2);
            if (close == std::string::npos) {
                if (have <= longest_tag)
                    return false;
                reader.position = open + 1;
                continue;
            }
            tag.kind = TagKind::instruction;
            read_name(text, skip_spaces(text, open + 2, close), close, tag.name);
            reader.position = close + 2;
            compact(reader);
            return true;
        }
        bool closing = text[open + 1] == '/';
        size_t close = find_tag_end(text, open);
        if (close == std::string::npos - 1) {
            reader.position = open + 1; // broken tag: skip its '<'
            continue;
        }
        if (close == std::string::npos) {
            if (have <= longest_tag)
                return false;
            reader.position = open + 1;
            continue;
        }
        size_t name_at = skip_spaces(text, open + (closing ? 2 : 1), close);
        size_t after_name = read_name(text, name_at, close, tag.name);
        if (closing) {
            tag.kind = TagKind::end;
        } else {
            tag.kind = TagKind::start;
            tag.empty = close > open + 1 && text[close - 1] == '/';
            read_attributes(text, after_name, tag.empty ? close - 1 : close, tag);
        }
        reader.position = close + 1;
        compact(reader);
        return true;
    }
}

const std::string* tag_attribute(const Tag& tag, const char* name)
{
    for (const auto& attribute : tag.attributes)
        if (strcasecmp(attribute.first.c_str(), name) == 0)
            return &attribute.second;
    return nullptr;
}
