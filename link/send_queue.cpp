#include "link/send_queue.h"

#include <climits>
#include <cstring>
#include <new>

namespace {

struct SendQueue {
    unsigned char bytes[SEND_QUEUE_SIZE];
    size_t length = 0;
    bool broken = false;
};

SendQueue* queue_of(BIO* filter)
{
    return static_cast<SendQueue*>(BIO_get_data(filter));
}

// Writes all of data to the BIO after the filter; false when a write failed.
bool write_through(BIO* filter, const unsigned char* data, size_t length)
{
    BIO* next = BIO_next(filter);
    while (length > 0) {
        int piece = length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
        int written = next != nullptr ? BIO_write(next, data, piece) : -1;
        if (written <= 0) {
            BIO_copy_next_retry(filter);
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Sends what the queue holds; on failure the queue is dropped for good.
bool send_queued(BIO* filter, SendQueue& queue)
{
    if (queue.broken)
        return false;
    bool sent = write_through(filter, queue.bytes, queue.length);
    queue.length = 0;
    queue.broken = !sent;
    return sent;
}

int queue_write(BIO* filter, const char* data, int length)
{
    SendQueue& queue = *queue_of(filter);
    BIO_clear_retry_flags(filter);
    if (queue.broken || length < 0)
        return -1;
    size_t size = static_cast<size_t>(length);
    if (size > SEND_QUEUE_SIZE - queue.length && !send_queued(filter, queue))
        return -1;
    if (size >= SEND_QUEUE_SIZE) {
        if (!write_through(filter, reinterpret_cast<const unsigned char*>(data), size)) {
            queue.broken = true;
            return -1;
        }
        return length;
    }
    std::memcpy(queue.bytes + queue.length, data, size);
    queue.length += size;
    return length;
}

int queue_read(BIO* filter, char* buffer, int size)
{
    BIO* next = BIO_next(filter);
    if (next == nullptr)
        return 0;
    int result = BIO_read(next, buffer, size);
    BIO_clear_retry_flags(filter);
    BIO_copy_next_retry(filter);
    return result;
}

long queue_control(BIO* filter, int command, long number, void* pointer)
{
    SendQueue& queue = *queue_of(filter);
    BIO* next = BIO_next(filter);
    switch (command) {
    case BIO_CTRL_FLUSH:
        BIO_clear_retry_flags(filter);
        if (queue.length > 0 && !send_queued(filter, queue))
            return -1;
        if (queue.broken)
            return -1;
        return next != nullptr ? BIO_ctrl(next, command, number, pointer) : 1;
    case BIO_CTRL_WPENDING:
        return static_cast<long>(queue.length) + (next != nullptr ? BIO_ctrl(next, command, number, pointer) : 0);
    default:
        return next != nullptr ? BIO_ctrl(next, command, number, pointer) : 0;
    }
}

int queue_create(BIO* filter)
{
    SendQueue* queue = new (std::nothrow) SendQueue;
    if (queue == nullptr)
        return 0;
    BIO_set_data(filter, queue);
    BIO_set_init(filter, 1);
    return 1;
}

int queue_destroy(BIO* filter)
{
    delete queue_of(filter);
    BIO_set_data(filter, nullptr);
    BIO_set_init(filter, 0);
    return 1;
}

BIO_METHOD* send_queue_method()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_FILTER, "send queue");
        if (made != nullptr) {
            BIO_meth_set_write(made, queue_write);
            BIO_meth_set_read(made, queue_read);
            BIO_meth_set_ctrl(made, queue_control);
            BIO_meth_set_create(made, queue_create);
            BIO_meth_set_destroy(made, queue_destroy);
        }
        return made;
    }();
    return method;
}

}  // namespace

BIO* new_send_queue()
{
    BIO_METHOD* method = send_queue_method();
    return method != nullptr ? BIO_new(method) : nullptr;
}
