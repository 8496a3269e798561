#include "fuzz/harness.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include <unistd.h>

#include "records/results.h"
#include "records/run_causes.h"
#include "platform/exit_cleanup.h"
#include "records/run_context.h"

namespace {

std::string folder;
FILE* null_log = nullptr;
FILE* current_script = nullptr;

}  // namespace

void harness_start()
{
    if (!folder.empty())
        return;
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    // In memory where the system has a place for it: the targets that
    // write files write one per input.
    char shared[] = "/dev/shm/quorvex-fuzz-XXXXXX";
    char temporary[] = "/tmp/quorvex-fuzz-XXXXXX";
    char* name = mkdtemp(shared);
    if (name == nullptr)
        name = mkdtemp(temporary);
    if (name == nullptr || chdir(name) != 0)
        std::abort();
    folder = name;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    null_log = std::fopen("/dev/null", "wb");
    if (null_log == nullptr)
        std::abort();
}

Link& harness_new_run()
{
    // The link goes before its run: the next ones start clean.
    static std::unique_ptr<Link> link;
    static std::unique_ptr<RunContext> run;
    link.reset();
    harness_start();
    if (current_script != nullptr) {
        std::fclose(current_script);
        current_script = nullptr;
    }
    // A working copy the last input armed for removal is gone with its folder.
    keep_at_process_end(0);
    run = std::make_unique<RunContext>();
    std::snprintf(run->settings.program_name, sizeof run->settings.program_name, "quorvex");
    run->state.log_stream = null_log;
    link = std::make_unique<Link>(*run);
    return *link;
}

FILE* script_stream(RunContext& run, const std::string& text)
{
    // A stream over a copy that lives as long as the stream.
    static std::string held;
    held = text.empty() ? std::string(1, '\0') : text;
    current_script = fmemopen(held.data(), text.empty() ? 0 : held.size(), "rb");
    if (current_script == nullptr)
        current_script = std::tmpfile();
    if (current_script == nullptr)
        std::abort();
    run.state.script_input = current_script;
    return current_script;
}

FuzzInput::FuzzInput(const uint8_t* data, size_t size) : data_(data), back_(size)
{
    if (back_ == 0)
        return;
    size_t count = data_[--back_];
    read_size_count_ = count < back_ ? count : back_;
    back_ -= read_size_count_;
}

uint8_t FuzzInput::take_byte()
{
    return front_ < back_ ? data_[front_++] : 0;
}

std::string FuzzInput::take_text()
{
    const void* zero = std::memchr(data_ + front_, 0, back_ - front_);
    size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data_) : back_;
    std::string text(reinterpret_cast<const char*>(data_ + front_), end - front_);
    front_ = zero ? end + 1 : end;
    return text;
}

BytePeer::BytePeer(const FuzzInput& input, Link& link)
    : bytes_(input.data()),
      size_(input.size()),
      read_sizes_(input.read_sizes()),
      read_size_count_(input.read_size_count()),
      link_(link)
{
    peer_.read = read;
    peer_.write = write;
    peer_.context = this;
    use_link_peer(link_, &peer_);
}

BytePeer::~BytePeer()
{
    use_link_peer(link_, nullptr);
}

int BytePeer::read(void* context, void* buffer, int size)
{
    BytePeer& peer = *static_cast<BytePeer*>(context);
    FUZZ_REQUIRE(size > 0, "a read of %d bytes", size);
    size_t limit = static_cast<size_t>(size);
    if (peer.read_size_count_ > 0) {
        uint8_t choice = peer.read_sizes_[peer.reads % peer.read_size_count_];
        if (choice == 255) {
            ++peer.reads;
            return -1;
        }
        if (choice != 0 && choice < limit)
            limit = choice;
    }
    ++peer.reads;
    size_t count = std::min(limit, peer.size_ - peer.at_);
    std::memcpy(buffer, peer.bytes_ + peer.at_, count);
    peer.at_ += count;
    return static_cast<int>(count);
}

int BytePeer::write(void* context, const void* data, int length)
{
    BytePeer& peer = *static_cast<BytePeer*>(context);
    FUZZ_REQUIRE(length >= 0, "a write of %d bytes", length);
    peer.written.append(static_cast<const char*>(data), static_cast<size_t>(length));
    return length;
}

bool documented_run_status(int32_t status, int32_t processor_status)
{
    // The run status as the process ends with it: unusable (-1) is 255.
    int32_t exit_status = status == code_value(RunCode::unusable) ? 255 : status;
    if (exit_status >= 0 && exit_status <= 255 && exit_status_listed(exit_status))
        return true;
    return status == processor_status;
}
