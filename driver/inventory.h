// The fleet's inventory: one processor a line, host[:port] (an IPv6
// address with a port in brackets), optionally followed by that
// processor's -t pairs; lines starting with # and blank lines skipped, a #
// after a blank starts a comment.
#pragma once

#include <string>
#include <vector>

struct InventoryEntry {
    int number = 0;         // its place in the fleet, from the first number on
    std::string name;       // NNN-processor, a file name unique through the number
    std::string processor;  // as written
    std::string pairs;      // its -t pairs, "" for none
    int line = 0;           // its line in the file
};

struct Inventory {
    std::vector<InventoryEntry> entries;
    // Why the inventory was refused, one message a line; "" when it was not.
    std::string refused;
};

// Reads the inventory text; its processors are numbered from first on. A
// processor listed twice, however it is written (the name in any case, the
// default port given or not, an IPv6 address with or without brackets),
// and an inventory without a processor are refused.
Inventory read_inventory(const std::string& text, int first);

// The file name of a processor's outputs: its number (three digits at
// least) and the processor with every character but letters, digits, '.',
// '_' and '-' as '_'.
std::string inventory_name(int number, const std::string& processor);
