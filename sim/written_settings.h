// What a processor's write-mode commands set, kept between its connections
// so that its reads answer with it: a value set by any element with a VALUE
// attribute inside a write-mode block (DNS_NAME of MOD_NETWORK_SETTINGS, a
// SERVER_NAME), and the user logins ADD_USER added and DELETE_USER removed.
// Only a processor that plays an identity uses it (its data is its own);
// the generic data of the recorded cases never changes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/check_points.h"

struct WrittenSettings {
    std::map<std::string, std::string> values;  // upper-cased element name -> VALUE
    std::vector<std::string> added_users;       // in the order added
    std::vector<std::string> deleted_users;
};

// Looks at `tag` as the nesting stands before judge_tag takes it.
void remember_written(WrittenSettings& written, const Nesting& nesting, const Tag& tag);

// The data element `data` (of the GET command `command`) with what was written.
std::string with_written(const std::string& command, const std::string& data, const WrittenSettings& written);
