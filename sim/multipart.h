// multipart/form-data bodies, as the firmware upload sends them.
#pragma once

#include <string>
#include <vector>

struct FormPart {
    std::string name;
    std::string filename;
    std::string data;
};

// The boundary parameter of a Content-Type value; empty when absent.
std::string boundary_of(const std::string& content_type);

// Splits `body` at `boundary`. False when no part could be found.
bool parse_multipart(const std::string& body, const std::string& boundary,
                     std::vector<FormPart>& parts);
