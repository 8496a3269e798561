#include "link/link.h"

#include <cstdlib>
#include <new>

namespace {

// Bytes that come zeroed from the system: a large block is fresh pages
// that nothing writes until it is used.
unsigned char* zeroed_bytes(size_t size)
{
    void* bytes = std::calloc(size, 1);
    if (bytes == nullptr)
        throw std::bad_alloc();
    return static_cast<unsigned char*>(bytes);
}

}  // namespace

ResponseStore::ResponseStore()
    : text(reinterpret_cast<char*>(zeroed_bytes(RESPONSE_STORE_SIZE + 1)), std::free)
{
}

Link::Link(RunContext& run) : run(run), image_buffer(zeroed_bytes(IMAGE_BUFFER_SIZE + 1), std::free) {}

Link::~Link()
{
    release_connection(*this);
}
