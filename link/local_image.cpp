#include "link/local_image.h"

#include "platform/file_kind.h"
#include "records/log_output.h"
#include "records/run_context.h"
#include "records/run_limits.h"

LocalImage open_local_image(RunContext& run, const char* path, const ImageKind& kind, FILE*& file)
{
    file = nullptr;
    std::string name = in_run_folder(run.settings, path);
    if (!readable_at_once(name.c_str())) {
        console_only_text(run, kind.not_regular);
        return LocalImage::not_regular;
    }
    file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        console_only_text(run, kind.not_opened);
        return LocalImage::not_opened;
    }
    return LocalImage::opened;
}

long local_image_size(FILE* file)
{
    std::fseek(file, 0, SEEK_SET);
    long start = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    long end = std::ftell(file);
    std::rewind(file);
    return end - start;
}

int read_local_image(RunContext& run, const char* path, const ImageKind& kind, unsigned char* buffer, int size)
{
    FILE* file = nullptr;
    if (open_local_image(run, path, kind, file) != LocalImage::opened)
        return -1;
    // Measured before it is read, and judged again by what was read: a file
    // that grew in between is no smaller for it.
    long length = -1;
    if (local_image_size(file) <= kind.largest)
        length = static_cast<long>(std::fread(buffer, 1, static_cast<size_t>(size), file));
    std::fclose(file);
    if (length == 0) {
        console_only_text(run, kind.not_read);
        return -1;
    }
    if (length < 0 || length > kind.largest) {
        console_only_text(run, kind.too_large);
        return -1;
    }
    return static_cast<int>(length);
}
