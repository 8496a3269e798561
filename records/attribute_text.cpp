#include "records/attribute_text.h"

std::string attribute_text(std::string_view value)
{
    std::string text;
    text.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&': text += "&amp;"; break;
        case '<': text += "&lt;"; break;
        case '>': text += "&gt;"; break;
        case '"': text += "&quot;"; break;
        case '\'': text += "&apos;"; break;
        case '\t': text += "&#9;"; break;
        case '\n': text += "&#10;"; break;
        case '\r': text += "&#13;"; break;
        default: text += c; break;
        }
    }
    return text;
}
