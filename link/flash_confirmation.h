// The line by which a processor confirms that it flashed an uploaded
// firmware image, looked for in the reply as it comes in.
#pragma once

#include <string_view>

#include "link/response_store.h"

constexpr std::string_view FLASH_CONFIRMATION = "Firmware flash completed successfully";

// Looks for the confirmation in the reply's new text at each call.
class FlashConfirmation {
public:
    // True once the reply, read so far into the store, holds the
    // confirmation.
    bool found_in_new_text(const ResponseStore& store) { return search_.found_in_new_text(store); }

private:
    StoreSearch search_{FLASH_CONFIRMATION};
};
