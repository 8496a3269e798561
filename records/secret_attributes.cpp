#include "records/secret_attributes.h"

#include <cctype>
#include <string>

namespace {

bool ends_with(const std::string& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool is_secret_attribute(std::string_view name)
{
    std::string upper;
    upper.reserve(name.size());
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // PASSWORD, USER_PASSWORD, ...: every password; the SNMP trap community
    // strings (SNMP_ADDRESS_1_TRAPCOMMUNITY ...) act as passwords too.
    return ends_with(upper, "PASSWORD") || ends_with(upper, "TRAPCOMMUNITY") || upper == "COMMUNITY";
}
