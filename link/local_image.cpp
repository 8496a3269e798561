#include "link/local_image.h"

#include "platform/file_kind.h"
#include "records/log_output.h"
#include "records/run_context.h"
#include "records/run_limits.h"
#include "records/run_causes.h"

#include <string>

// An image the script names that cannot be sent, as the cause of the
// failure: the kind's words and the file's name.
static int image_unreadable(RunContext& run, const char* words, const char* path)
{
    std::string said(words);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r'))
        said.pop_back();
    note_cause(run, Cause::image_unreadable, format_text("%s: \"%s\"", said.c_str(), path));
    return -1;
}

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
    switch (open_local_image(run, path, kind, file)) {
    case LocalImage::opened:
        break;
    case LocalImage::not_regular:
        return image_unreadable(run, kind.not_regular, path);
    case LocalImage::not_opened:
        return image_unreadable(run, kind.not_opened, path);
    }
    // Measured before it is read, and judged again by what was read: a file
    // that grew in between is no smaller for it.
    long length = -1;
    if (local_image_size(file) <= kind.largest)
        length = static_cast<long>(std::fread(buffer, 1, static_cast<size_t>(size), file));
    std::fclose(file);
    if (length == 0) {
        console_only_text(run, kind.not_read);
        return image_unreadable(run, kind.not_read, path);
    }
    if (length < 0 || length > kind.largest) {
        console_only_text(run, kind.too_large);
        return image_unreadable(run, format_text("%s (larger than %ld bytes)", kind.too_large, kind.largest).c_str(), path);
    }
    return static_cast<int>(length);
}
