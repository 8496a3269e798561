// The collected text of an HTTP reply's chunks, and searches in it.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "link/transfer_buffers.h"

struct Link;

// The collected text of the chunks of one reply.
struct ResponseStore {
    ResponseStore();
    // RESPONSE_STORE_SIZE + 1 bytes on the heap, zeroed when made; only the
    // bytes used are cleared again.
    std::unique_ptr<char[], void (*)(void*)> text;
    size_t used = 0;
    unsigned long rollovers = 0;  // times the store was emptied to take more of this reply
};

void response_store_reset(ResponseStore& store);
// Appends chunk data to the link's store; data that would pass the end of
// the store first empties it (with the rollover message). The reply's
// status scan sees every byte.
void response_store_append(Link& link, const char* data, size_t length);
bool response_store_contains(const ResponseStore& store, const char* text);
// Looks for text in what the store took since the last call (and in the
// bytes before that an occurrence may begin with), so that a reply is
// searched once, not once per read. A fresh search starts with no bytes
// searched; a rollover starts it again at the store's beginning.
class StoreSearch {
public:
    explicit StoreSearch(std::string_view text) : text_(text) {}
    bool found_in_new_text(const ResponseStore& store);

private:
    std::string_view text_;
    size_t searched_ = 0;         // store bytes already searched
    unsigned long rollovers_ = 0; // of the store when they were
};
