// The data a processor of a given identity answers the common GET commands
// with: plausible values that differ from one identity to the next (and
// between the generations), always the same for the same identity.
#pragma once

#include <string>

// The data element for command (upper case), or "" for a command this
// table does not know.
std::string processor_data(const std::string& command, const std::string& identity, bool older_generation);
