// What every fuzzing target shares: a quiet process, a fresh run for each
// input, a processor made of the input's bytes, and the checks that must
// hold after any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "link/link.h"
#include "link/tls_io.h"

// Stops the program with a message when a property does not hold; the
// fuzzer reports it as a crash with the input that broke it.
#define FUZZ_REQUIRE(condition, ...)                                              \
    do {                                                                          \
        if (!(condition)) {                                                       \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition,     \
                         __FILE__, __LINE__);                                     \
            std::fprintf(stderr, "" __VA_ARGS__);                                 \
            std::fputc('\n', stderr);                                             \
            std::abort();                                                         \
        }                                                                         \
    } while (false)

// Once per process: standard output to /dev/null (the utility talks a lot),
// a private working folder (removed at exit) as the current folder. A
// target run by hand therefore takes its corpus folders as absolute paths.
void harness_start();
// Before each input: a new run (the log to /dev/null) and its link (the
// previous ones go), for the target; link.run is the run.
Link& harness_new_run();

// The input of one run, taken apart from both ends: option bytes from the
// front, the read sizes of the processor from the back (the last byte
// says how many), the processor's or the script's bytes in between.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size);
    // The next byte from the front; 0 when none is left.
    uint8_t take_byte();
    // The bytes up to the next zero byte (dropped), or all that are left.
    std::string take_text();
    // What is left in the middle.
    const uint8_t* data() const { return data_ + front_; }
    size_t size() const { return back_ - front_; }
    std::string rest() const { return std::string(reinterpret_cast<const char*>(data()), size()); }
    const uint8_t* read_sizes() const { return data_ + back_; }
    size_t read_size_count() const { return read_size_count_; }

private:
    const uint8_t* data_;
    size_t front_ = 0;
    size_t back_;
    size_t read_size_count_ = 0;
};

// A processor that sends the middle of a FuzzInput, cut into reads by its
// read sizes (taken in turn: 0 the whole request, 255 a failed read, else
// at most that many bytes), and collects what the link writes to it. It
// stands in the link's connection while it lives.
class BytePeer {
public:
    BytePeer(const FuzzInput& input, Link& link);
    ~BytePeer();
    BytePeer(const BytePeer&) = delete;
    BytePeer& operator=(const BytePeer&) = delete;

    std::string written;
    size_t reads = 0;

private:
    static int read(void* context, void* buffer, int size);
    static int write(void* context, const void* data, int length);

    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
    const uint8_t* read_sizes_;
    size_t read_size_count_;
    Link& link_;
    LinkPeer peer_;
};

// The run status is one of the exit table (records/run_causes.h) or the
// processor's status.
bool documented_run_status(int32_t status, int32_t processor_status);
// Script text in a stream the lexer and the body pass can read; closed by
// the next harness_new_run.
FILE* script_stream(RunContext& run, const std::string& text);
