#include "sim/answer_text.h"

#include <algorithm>

#include "sim/processor_data.h"

namespace {

void replace_all(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

void apply_changes(AnswerContent& content, const AnswerChanges& changes)
{
    if (changes.has_status)
        content.status = changes.status;
    if (changes.has_message)
        content.message = changes.message;
    if (changes.has_version)
        content.version = changes.version;
    if (changes.no_data)
        content.with_data = false;
}

std::string data_element(const std::string& command, const std::string& identity, bool older_generation,
                         const WrittenSettings* written)
{
    if (!identity.empty()) {
        std::string own = processor_data(command, identity, older_generation);
        if (!own.empty())
            return written != nullptr ? with_written(command, own, *written) : own;
    }
    if (command.rfind("CERTIFICATE_SIGNING_REQUEST", 0) == 0)
        return "<CERTIFICATE_SIGNING_REQUEST>\r\n"
               "-----BEGIN CERTIFICATE REQUEST-----\r\n"
               "MIIBVTCBvwIBADAWMRQwEgYDVQQDDAttcHNpbS5sb2NhbDCBnzANBgkqhkiG9w0B\r\n"
               "AQEFAAOBjQAwgYkCgYEAuVJ0bXBzaW0gZGVtbyBjZXJ0aWZpY2F0ZSByZXF1ZXN0\r\n"
               "-----END CERTIFICATE REQUEST-----\r\n"
               "</CERTIFICATE_SIGNING_REQUEST>\r\n";
    std::string subject = command.rfind("GET_", 0) == 0 && command.size() > 4 ? command.substr(4)
                                                                              : command;
    return "<" + subject + ">\r\n"
           "    <NAME VALUE=\"mpsim\"/>\r\n"
           "    <STATE VALUE=\"ON\"/>\r\n"
           "    <FIRMWARE_VERSION VALUE=\"2.22\"/>\r\n"
           "</" + subject + ">\r\n";
}

std::string format_answer(const AnswerContent& content, const AnswerChanges& changes)
{
    if (changes.has_raw)
        return changes.raw;
    std::string message = content.message;
    replace_all(message, "{n}", std::to_string(content.number));
    replace_all(message, "{name}", content.command);
    std::string text = "<?xml version=\"1.0\"?>\r\n<MOXCL VERSION=\"" + content.version +
                       "\">\r\n<RESPONSE\r\n    STATUS=\"" + content.status +
                       "\"\r\n    MESSAGE='" + message + "'";
    if (changes.has_extra)
        text += changes.extra;
    text += "\r\n     />\r\n";
    if (content.with_data)
        text += data_element(content.command, content.identity, content.older_generation, content.written);
    const std::string tail = "</MOXCL>\r\n";
    size_t padding_frame = std::string("<PADDING>\r\n</PADDING>\r\n").size();
    if (changes.long_size > text.size() + tail.size() + padding_frame) {
        size_t fill = changes.long_size - text.size() - tail.size() - padding_frame;
        std::string padding;
        padding.reserve(fill);
        while (padding.size() < fill) {
            size_t run = std::min<size_t>(fill - padding.size(), 64);
            if (run >= 3 && fill - padding.size() > 66) {
                padding.append(run, 'x');
                padding += "\r\n";
            } else {
                padding.append(fill - padding.size(), 'x');
            }
        }
        text += "<PADDING>\r\n" + padding + "</PADDING>\r\n";
    }
    return text + tail;
}
