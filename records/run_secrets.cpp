#include "records/run_secrets.h"

#include <algorithm>

#include "records/attribute_text.h"
#include "records/run_context.h"
#include "records/run_report.h"
#include "records/secret_attributes.h"

namespace {

void note_text(RunContext& run, std::string text)
{
    std::vector<std::string>& texts = run.secrets.texts;
    if (text.size() < SHORTEST_MASKED_SECRET || texts.size() >= RUN_SECRET_LIMIT ||
        std::find(texts.begin(), texts.end(), text) != texts.end())
        return;
    report_secret_value(run, text);
    auto longer = [](const std::string& a, const std::string& b) { return a.size() > b.size(); };
    texts.insert(std::upper_bound(texts.begin(), texts.end(), text, longer), std::move(text));
}

// The length of the longest end of text that is the start of a secret
// (and not the whole of it).
size_t secret_start_at_end(const RunContext& run, std::string_view text)
{
    size_t longest = 0;
    for (const std::string& secret : run.secrets.texts)
        for (size_t length = std::min(text.size(), secret.size() - 1); length > longest; --length)
            if (text.ends_with(std::string_view(secret).substr(0, length))) {
                longest = length;
                break;
            }
    return longest;
}

}  // namespace

void note_run_secret(RunContext& run, std::string_view value)
{
    note_text(run, std::string(value));
    note_text(run, attribute_text(value));
}

void mask_texts(std::string& text, const std::vector<std::string>& secrets)
{
    for (const std::string& secret : secrets)
        for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + MASKED_SECRET.size()))
            text.replace(at, secret.size(), MASKED_SECRET);
}

std::string mask_run_secrets(const RunContext& run, std::string_view text)
{
    std::string masked(text);
    mask_texts(masked, run.secrets.texts);
    return masked;
}

std::string EchoMask::shown(const RunContext& run, std::string_view piece)
{
    held_.append(piece);
    std::string masked = mask_run_secrets(run, held_);
    size_t held = secret_start_at_end(run, masked);
    held_.assign(masked, masked.size() - held, held);
    masked.resize(masked.size() - held);
    return masked;
}

std::string EchoMask::rest()
{
    std::string rest;
    rest.swap(held_);
    return rest;
}
