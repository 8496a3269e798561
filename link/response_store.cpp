#include "link/response_store.h"

#include <algorithm>
#include <cstring>

#include "records/log_output.h"
#include "records/run_report.h"
#include "records/text_tests.h"
#include "link/link.h"

void response_store_reset(ResponseStore& store)
{
    // Only the bytes used are cleared: the rest is still zero, and a run
    // whose replies are small never touches the store's other pages.
    std::memset(store.text.get(), 0, std::min(store.used, static_cast<size_t>(RESPONSE_STORE_SIZE + 1)));
    store.used = 0;
}

void response_store_append(Link& link, const char* data, size_t length)
{
    ResponseStore& response_store = link.response_store;
    length = std::min(length, static_cast<size_t>(RESPONSE_STORE_SIZE));
    link.http_reply.status_scan.feed(data, length);
    report_reply_bytes(link.run, data, length);
    if (response_store.used + length > static_cast<size_t>(RESPONSE_STORE_SIZE)) {
        log_info(link.run, "Response has exceeded the length of the response buffer causing a rollover\r\n");
        response_store_reset(response_store);
        ++response_store.rollovers;
    }
    std::memcpy(response_store.text.get() + response_store.used, data, length);
    response_store.used += length;
}

bool response_store_contains(const ResponseStore& store, const char* text)
{
    return holds(std::string_view(store.text.get(), store.used), text);
}

bool StoreSearch::found_in_new_text(const ResponseStore& response_store)
{
    if (rollovers_ != response_store.rollovers || searched_ > response_store.used) {
        rollovers_ = response_store.rollovers;
        searched_ = 0;
    }
    // An occurrence may begin up to one byte short of the text's length
    // before the new bytes.
    size_t overlap = text_.empty() ? 0 : text_.size() - 1;
    size_t from = searched_ > overlap ? searched_ - overlap : 0;
    searched_ = response_store.used;
    std::string_view fresh(response_store.text.get() + from, response_store.used - from);
    return fresh.find(text_) != std::string_view::npos;
}
