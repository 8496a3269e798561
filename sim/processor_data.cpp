#include "sim/processor_data.h"

#include <cstdint>
#include <cstdio>

namespace {

// FNV-1a: the identity's numbers, one per salt.
uint32_t number(const std::string& identity, const char* salt)
{
    uint32_t hash = 2166136261u;
    for (char c : identity + "/" + salt) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string value(const char* name, const std::string& text)
{
    return "    <" + std::string(name) + " VALUE=\"" + text + "\"/>\r\n";
}

std::string element(const char* name, const std::string& inside)
{
    return "<" + std::string(name) + ">\r\n" + inside + "</" + name + ">\r\n";
}

std::string format(const char* pattern, unsigned a, unsigned b = 0, unsigned c = 0)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string firmware_version(const std::string& id, bool older)
{
    // Older processors run 1.x firmware, newer ones 2.x.
    unsigned minor = number(id, "firmware") % 40 + 10;
    return format("%u.%02u", older ? 1 : 2, minor);
}

std::string ip_address(const std::string& id)
{
    uint32_t n = number(id, "ip");
    return format("10.%u.%u.%u", n % 250 + 1, n / 250 % 250 + 1, n / 62500 % 240 + 10);
}

}  // namespace

std::string processor_data(const std::string& command, const std::string& id, bool older)
{
    const std::string name = "mp-" + id;
    if (command == "GET_FW_VERSION" || command == "GET_FIRMWARE_VERSION") {
        uint32_t day = number(id, "date");
        static const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        return element("FIRMWARE_VERSION",
                       value("VERSION", firmware_version(id, older)) +
                           value("DATE", std::string(MONTHS[day % 12]) + format(" %02u 20%02u", day / 12 % 28 + 1,
                                                                               (older ? 14 : 20) + day / 336 % 6)) +
                           value("PROCESSOR", older ? "MP2" : "MP3"));
    }
    if (command == "GET_NETWORK_SETTINGS") {
        uint32_t mac = number(id, "mac");
        std::string ip = ip_address(id);
        return element("NETWORK_SETTINGS",
                       value("DNS_NAME", name) + value("IP_ADDRESS", ip) + value("SUBNET_MASK", "255.255.255.0") +
                           value("GATEWAY_IP_ADDRESS", ip.substr(0, ip.rfind('.')) + ".1") +
                           value("MAC_ADDRESS", format("00:1a:4b:%02x:%02x:%02x", mac & 0xFF, mac >> 8 & 0xFF,
                                                       mac >> 16 & 0xFF)) +
                           value("DHCP_ENABLE", number(id, "dhcp") % 3 == 0 ? "Y" : "N") +
                           value("SPEED_AUTOSELECT", "Y"));
    }
    if (command == "GET_GLOBAL_SETTINGS") {
        return element("GLOBAL_SETTINGS",
                       value("SESSION_TIMEOUT", format("%u", 15 * (number(id, "session") % 4 + 1))) +
                           value("HTTP_PORT", "80") + value("HTTPS_PORT", "443") +
                           value("MIN_PASSWORD", format("%u", number(id, "password") % 5 + 8)) +
                           value("AUTHENTICATION_FAILURE_LOGGING", older ? "Enabled-every-3rd-failure" : "Enabled-every-failure"));
    }
    if (command == "GET_SYSTEM_NAME" || command == "GET_SERVER_NAME")
        return "<SERVER_NAME VALUE=\"host-" + id + "\"/>\r\n";
    if (command == "GET_POWER_STATE" || command == "GET_HOST_POWER_STATUS")
        return std::string("<HOST_POWER VALUE=\"") + (number(id, "power") % 5 == 0 ? "OFF" : "ON") + "\"/>\r\n";
    if (command == "GET_HOST_DATA") {
        return element("HOST_DATA",
                       value("SERIAL_NUMBER", format("CZ%08u", number(id, "serial") % 100000000)) +
                           value("PRODUCT_NAME", older ? "Torvane TS-140 G7" : "Torvane TS-360 G10") +
                           value("SYSTEM_ROM", format("U%u %02u/01/20%02u", number(id, "rom") % 40 + 10,
                                                      number(id, "rom") % 12 + 1, older ? 15 : 22)));
    }
    if (command == "GET_ALL_USERS") {
        std::string users = value("USER_LOGIN", "admin");
        unsigned count = number(id, "users") % 3 + 1;
        for (unsigned i = 1; i <= count; ++i)
            users += value("USER_LOGIN", format("operator%u", i));
        return element("ALL_USERS", users);
    }
    return {};
}
