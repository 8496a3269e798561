#include "records/secret_attributes.h"
#include "records/text_tests.h"

#include <cctype>
#include <string>


namespace {

// name ends with tail (written in capitals) in any case.
bool ends_ignoring_case(std::string_view name, std::string_view tail)
{
    return name.size() >= tail.size() && equal_ignoring_case(name.substr(name.size() - tail.size()), tail);
}

// A setting about passwords rather than one: a word of the name before its
// last is a bound (MIN_PASSWORD, the shortest password the processor takes).
bool names_a_bound(std::string_view name)
{
    for (size_t start = 0, end; (end = name.find('_', start)) != std::string_view::npos; start = end + 1) {
        std::string_view word = name.substr(start, end - start);
        for (std::string_view bound : {"MIN", "MAX", "MINIMUM", "MAXIMUM"})
            if (equal_ignoring_case(word, bound))
                return true;
    }
    return false;
}

// The attribute at 'at' stands in a tag whose element name holds a secret
// (an SNMP trap community, whose VALUE is the community string).
bool in_secret_element(std::string_view text, size_t at)
{
    size_t open = text.rfind('<', at);
    if (open == std::string_view::npos || text.find('>', open) < at)
        return false;
    size_t start = open + 1;
    size_t end = start;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
        ++end;
    return end > start && is_secret_attribute(text.substr(start, end - start));
}

}  // namespace

std::string mask_secret_attributes(std::string_view text)
{
    std::string masked;
    size_t copied = 0;
    for (size_t equals = text.find('='); equals != std::string_view::npos; equals = text.find('=', equals + 1)) {
        size_t name_end = equals;
        while (name_end > 0 && (text[name_end - 1] == ' ' || text[name_end - 1] == '\t'))
            --name_end;
        size_t name_start = name_end;
        while (name_start > 0 && (std::isalnum(static_cast<unsigned char>(text[name_start - 1])) ||
                                  text[name_start - 1] == '_' || text[name_start - 1] == '-'))
            --name_start;
        if (name_start == name_end || name_start < copied)
            continue;
        std::string_view name = text.substr(name_start, name_end - name_start);
        if (!is_secret_attribute(name) && !(is_value_attribute(name) && in_secret_element(text, name_start)))
            continue;
        size_t value = equals + 1;
        while (value < text.size() && (text[value] == ' ' || text[value] == '\t'))
            ++value;
        size_t value_end = value;
        if (value < text.size() && (text[value] == '"' || text[value] == '\'')) {
            size_t close = text.find(text[value], value + 1);
            ++value;
            value_end = close == std::string_view::npos ? text.size() : close;
        } else {
            while (value_end < text.size() && text[value_end] != ' ' && text[value_end] != '\t' &&
                   text[value_end] != '>' && text[value_end] != '/' && text[value_end] != '\r' &&
                   text[value_end] != '\n')
                ++value_end;
            // The value stands on a later line: it is masked there.
            if (value_end == value)
                continue;
        }
        masked.append(text.substr(copied, value - copied));
        masked.append(MASKED_SECRET);
        copied = value_end;
        equals = value_end > equals ? value_end - 1 : equals;
    }
    masked.append(text.substr(copied));
    return masked;
}

bool is_secret_name(std::string_view name)
{
    // PASSWORD, USER_PASSWORD, ...: every password, but not a bound on
    // them; the SNMP trap community strings (SNMP_ADDRESS_1_TRAPCOMMUNITY
    // ...) act as passwords too.
    if (ends_ignoring_case(name, "PASSWORD"))
        return !names_a_bound(name);
    return ends_ignoring_case(name, "TRAPCOMMUNITY") || equal_ignoring_case(name, "COMMUNITY");
}

bool is_value_attribute(std::string_view name)
{
    return equal_ignoring_case(name, "VALUE");
}
