#include "sim/transcript.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string path_of(const Transcript& transcript, const std::string& suffix)
{
    return transcript.folder + "/conn-" + std::to_string(transcript.number) + "." + suffix;
}

void write_all(int fd, const char* data, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            std::perror("mpsim: transcript");
            return;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
}

void write_file(const std::string& path, const std::string& text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        return;
    }
    write_all(fd, text.data(), text.size());
    ::close(fd);
}

} // namespace

void transcript_begin(Transcript& transcript, const std::string& folder, int number)
{
    transcript.folder = folder;
    transcript.number = number;
    transcript.images = 0;
    transcript.received_fd = -1;
    if (transcript.folder.empty())
        return;
    std::string path = path_of(transcript, "received");
    transcript.received_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (transcript.received_fd < 0)
        std::perror(path.c_str());
    std::string records_path = path_of(transcript, "records");
    transcript.records = std::fopen(records_path.c_str(), "we");
    if (transcript.records == nullptr)
        std::perror(records_path.c_str());
}

void transcript_received(Transcript& transcript, const char* data, size_t length)
{
    if (transcript.received_fd >= 0)
        write_all(transcript.received_fd, data, length);
    if (transcript.records != nullptr)
        std::fprintf(transcript.records, "in %zu\n", length);
}

void transcript_sent(Transcript& transcript, size_t length)
{
    if (transcript.records != nullptr)
        std::fprintf(transcript.records, "out %zu\n", length);
}

void transcript_declined_hello(const std::string& folder, int number, const std::string& text)
{
    if (!folder.empty())
        write_file(folder + "/declined-" + std::to_string(number) + ".hello", text);
}

void transcript_hello(const Transcript& transcript, const std::string& text)
{
    if (!transcript.folder.empty())
        write_file(path_of(transcript, "hello"), text);
}

void transcript_image(Transcript& transcript, const std::string& bytes)
{
    ++transcript.images;
    if (!transcript.folder.empty())
        write_file(path_of(transcript, "image-" + std::to_string(transcript.images)), bytes);
}

void transcript_end(Transcript& transcript, const std::string& summary)
{
    if (transcript.received_fd >= 0) {
        ::close(transcript.received_fd);
        transcript.received_fd = -1;
    }
    if (transcript.records != nullptr) {
        std::fclose(transcript.records);
        transcript.records = nullptr;
    }
    if (!transcript.folder.empty())
        write_file(path_of(transcript, "summary"), summary + "\n");
}
