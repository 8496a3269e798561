#include "link/image_record.h"

#include <cstdio>

#include "records/run_report.h"

ImageRecord::ImageRecord(RunContext& run, const char* kind, std::string file)
    : run_(run), kind_(kind), file_(std::move(file)), start_(std::chrono::steady_clock::now())
{
    if (!report_gathering(run))
        return;
    hash_ = EVP_MD_CTX_new();
    if (hash_ != nullptr && EVP_DigestInit_ex(hash_, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(hash_);
        hash_ = nullptr;
    }
}

ImageRecord::~ImageRecord()
{
    EVP_MD_CTX_free(hash_);
}

void ImageRecord::add(const void* data, size_t length)
{
    bytes_ += length;
    if (hash_ != nullptr && EVP_DigestUpdate(hash_, data, length) != 1) {
        EVP_MD_CTX_free(hash_);
        hash_ = nullptr;
    }
}

void ImageRecord::done()
{
    if (!report_gathering(run_))
        return;
    std::string hex;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (hash_ != nullptr && EVP_DigestFinal_ex(hash_, digest, &length) == 1) {
        for (unsigned int i = 0; i < length; ++i) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02x", digest[i]);
            hex += pair;
        }
    }
    EVP_MD_CTX_free(hash_);
    hash_ = nullptr;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    report_image(run_, {kind_, file_, bytes_, hex, seconds});
}
