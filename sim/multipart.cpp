#include "sim/multipart.h"

#include <strings.h>

namespace {

std::string parameter(const std::string& headers, const char* name)
{
    std::string key = std::string(name) + "=\"";
    size_t at = headers.find(key);
    while (at != std::string::npos && at > 0 && headers[at - 1] != ' ' && headers[at - 1] != ';')
        at = headers.find(key, at + 1);
    if (at == std::string::npos)
        return "";
    at += key.size();
    size_t end = headers.find('"', at);
    return headers.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

} // namespace

std::string boundary_of(const std::string& content_type)
{
    size_t at = 0;
    while ((at = content_type.find('=', at)) != std::string::npos) {
        size_t start = at;
        while (start > 0 && content_type[start - 1] != ';' && content_type[start - 1] != ' ')
            --start;
        std::string name = content_type.substr(start, at - start);
        ++at;
        if (strcasecmp(name.c_str(), "boundary") != 0)
            continue;
        size_t end = content_type.find(';', at);
        std::string value = content_type.substr(at, end == std::string::npos ? std::string::npos : end - at);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

bool parse_multipart(const std::string& body, const std::string& boundary,
                     std::vector<FormPart>& parts)
{
    parts.clear();
    if (boundary.empty())
        return false;
    const std::string delimiter = "--" + boundary;
    size_t at = body.find(delimiter);
    while (at != std::string::npos) {
        at += delimiter.size();
        if (body.compare(at, 2, "--") == 0)
            break; // closing delimiter
        if (body.compare(at, 2, "\r\n") != 0)
            break;
        at += 2;
        size_t headers_end = body.find("\r\n\r\n", at);
        if (headers_end == std::string::npos)
            break;
        std::string headers = body.substr(at, headers_end - at);
        size_t data_at = headers_end + 4;
        size_t next = body.find("\r\n" + delimiter, data_at);
        if (next == std::string::npos)
            break;
        parts.push_back(FormPart{parameter(headers, "name"), parameter(headers, "filename"),
                                 body.substr(data_at, next - data_at)});
        at = next + 2;
    }
    return !parts.empty();
}
