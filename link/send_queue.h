// The queue under the TLS connection: records on their way to the processor
// wait in it, so that the records made between two answers leave in one
// write instead of one write each.
#pragma once

#include <cstddef>

#include <openssl/bio.h>

// What the queue holds at most. A stretch of a script between two answers
// is usually far smaller; one that is not leaves in writes of this size.
constexpr size_t SEND_QUEUE_SIZE = 16384;

// A filter BIO in front of `next`: what is written through it is queued and
// reaches `next` when the queue is flushed (BIO_flush), or when a write does
// not fit any more, in which case the queue goes first and a write as large
// as the queue itself follows it directly. Every record keeps its bytes and
// its order. Once a write to `next` fails the queue is dropped and every
// later write and flush fails at once: the connection is of no more use.
// nullptr when the filter cannot be made.
BIO* new_send_queue();
