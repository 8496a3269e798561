// Cuts incoming command text into tags as far as it has arrived. Works on
// the re-spaced token stream of stream mode ("< LOGIN USER = \"a\" ... >")
// as well as on a script sent whole in an HTTP body.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class TagKind { instruction, start, end };

struct Tag {
    TagKind kind = TagKind::start;
    std::string name;                                        // as written
    std::vector<std::pair<std::string, std::string>> attributes;
    bool empty = false;                                      // closed with "/>"
};

struct TagReader {
    std::string pending;  // text not yet taken
    size_t position = 0;  // start of the untaken part of `pending`
};

void reader_feed(TagReader& reader, const char* data, size_t length);

// Takes the next complete tag. Comments, CDATA sections, text between tags
// and declarations other than <?...?> are skipped. Returns false when more
// text is needed.
bool reader_next(TagReader& reader, Tag& tag);

// Bytes waiting in the reader that no tag has taken yet.
size_t reader_waiting(const TagReader& reader);

// Moves up to `count` waiting bytes out of the reader, raw.
void reader_take_raw(TagReader& reader, std::string& out, size_t count);

// Drops a line end ("\r\n" or "\n") that waits at the front of the reader.
void reader_drop_line_end(TagReader& reader);

// Case-insensitive lookup of an attribute value; null when absent.
const std::string* tag_attribute(const Tag& tag, const char* name);
