// An image moved to or from the processor, for the run report: its bytes
// hashed (SHA-256) and timed as they go.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <openssl/evp.h>

struct RunContext;

class ImageRecord {
public:
    // kind: "firmware", "floppy_insert" or "floppy_copy"; nothing is done
    // unless the run's report is being gathered.
    ImageRecord(RunContext& run, const char* kind, std::string file);
    ~ImageRecord();
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;

    void add(const void* data, size_t length);
    // The image is in the report from now on.
    void done();

private:
    RunContext& run_;
    const char* kind_;
    std::string file_;
    EVP_MD_CTX* hash_ = nullptr;
    unsigned long long bytes_ = 0;
    std::chrono::steady_clock::time_point start_;
};
