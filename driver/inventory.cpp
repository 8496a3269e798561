#include "driver/inventory.h"

#include <cstdio>
#include <unordered_map>


namespace {

constexpr const char* BLANKS = " \t";

std::string trimmed(const std::string& text)
{
    size_t start = text.find_first_not_of(BLANKS);
    if (start == std::string::npos)
        return "";
    size_t end = text.find_last_not_of(BLANKS);
    return text.substr(start, end - start + 1);
}

// One processor however it is written: lower case, with its port, an IPv6
// address in brackets.
std::string processor_key(const std::string& processor)
{
    std::string key;
    for (char c : processor)
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (!key.empty() && key.front() == '[') {
        size_t close = key.find("]:");
        bool port = close != std::string::npos && close + 2 < key.size() &&
                    key.find_first_not_of("0123456789", close + 2) == std::string::npos;
        return port ? key : key + ":443";
    }
    size_t first_colon = key.find(':');
    if (first_colon == std::string::npos)
        return key + ":443";
    if (key.find(':', first_colon + 1) != std::string::npos)
        return "[" + key + "]:443";
    return key;
}

}  // namespace

std::string inventory_name(int number, const std::string& processor)
{
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03d-", number);
    std::string name = prefix;
    for (char c : processor) {
        bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-';
        name += kept ? c : '_';
    }
    return name;
}

Inventory read_inventory(const std::string& text, int first)
{
    Inventory inventory;
    std::unordered_map<std::string, int> seen;
    int line_number = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = trimmed(line);
        if (line.empty() || line.front() == '#')
            continue;
        // A comment after the processor or its pairs is no part of them.
        for (size_t hash = line.find('#'); hash != std::string::npos; hash = line.find('#', hash + 1)) {
            if (hash > 0 && (line[hash - 1] == ' ' || line[hash - 1] == '\t')) {
                line = trimmed(line.substr(0, hash));
                break;
            }
        }
        size_t blank = line.find_first_of(BLANKS);
        InventoryEntry entry;
        entry.processor = line.substr(0, blank);
        entry.pairs = blank == std::string::npos ? "" : trimmed(line.substr(blank));
        entry.line = line_number;
        std::string key = processor_key(entry.processor);
        if (auto earlier = seen.find(key); earlier != seen.end())
            inventory.refused += "line " + std::to_string(line_number) + ": " + entry.processor +
                                 " is listed twice (line " + std::to_string(earlier->second) + ")\n";
        seen[key] = line_number;
        entry.number = first + static_cast<int>(inventory.entries.size());
        entry.name = inventory_name(entry.number, entry.processor);
        inventory.entries.push_back(std::move(entry));
    }
    if (inventory.entries.empty())
        inventory.refused += "no processor in the inventory\n";
    return inventory;
}
