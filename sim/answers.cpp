#include "sim/answers.h"

#include <algorithm>
#include <cstdio>

#include "sim/answer_text.h"
#include "sim/sim_state.h"

namespace {

std::string chunk_frame(const std::string& text, const std::vector<size_t>& sizes)
{
    std::string wire;
    size_t at = 0;
    size_t index = 0;
    do {
        size_t size = sizes.empty() ? text.size() : sizes[std::min(index, sizes.size() - 1)];
        ++index;
        size_t take = std::min(size, text.size() - at);
        char head[32];
        std::snprintf(head, sizeof head, "%zx\r\n", take);
        wire += head + text.substr(at, take) + "\r\n";
        at += take;
    } while (at < text.size());
    return wire;
}

// Chunk by chunk, one write each, unless the scenario splits the bytes.
bool write_chunks(PeerLink& link, const std::string& text, const AnswerChanges& changes)
{
    if (!changes.split.empty())
        return link_write_pieces(link, chunk_frame(text, changes.chunks), changes.split);
    size_t at = 0;
    size_t index = 0;
    do {
        const auto& sizes = changes.chunks;
        size_t size = sizes.empty() ? text.size() : sizes[std::min(index, sizes.size() - 1)];
        ++index;
        size_t take = std::min(size, text.size() - at);
        if (!link_write(link, chunk_frame(text.substr(at, take), {})))
            return false;
        at += take;
    } while (at < text.size());
    return true;
}

} // namespace

AnswerChanges begin_answer(PeerLink& link, const std::string& command)
{
    ++link.answers;
    AnswerChanges changes = changes_for_answer(sim.scenario, link.number, link.answers, command);
    if (changes.delay_ms > 0)
        sleep_milliseconds(changes.delay_ms);
    // A processor that hangs: whatever the client sends is taken, nothing
    // comes back, until the client gives up (or --timeout drops it).
    if (changes.silent)
        while (link_read(link)) {
        }
    if (changes.close_before != CloseMode::none)
        link_close(link, changes.close_before,
                   changes.close_before == CloseMode::drop ? "server-drop" : "server-close-notify");
    return changes;
}

bool finish_answer(PeerLink& link, const AnswerRequest& request, const AnswerChanges& changes)
{
    if (!link_is_open(link))
        return false;
    bool written;
    if (changes.has_raw || request.literal) {
        std::string bytes = changes.has_raw ? changes.raw : request.text;
        written = link_write_pieces(link, bytes, changes.split);
    } else {
        AnswerContent content;
        content.version = sim.options.version;
        content.status = request.status;
        content.message = request.message;
        content.command = request.command;
        content.with_data = request.with_data;
        content.number = link.answers;
        content.identity = link.processor->identity;
        content.written = &link.processor->written;
        content.older_generation = sim.options.generation == Generation::stream;
        apply_changes(content, changes);
        std::string text = format_answer(content, changes);
        written = request.as_chunk ? write_chunks(link, text, changes)
                                   : link_write_pieces(link, text, changes.split);
    }
    if (!written)
        return false;
    if (changes.close_after != CloseMode::none) {
        link_close(link, changes.close_after,
                   changes.close_after == CloseMode::drop ? "server-drop" : "server-close-notify");
        return false;
    }
    return true;
}

void wait_answer_delay()
{
    if (sim.options.answer_delay_ms > 0)
        sleep_milliseconds(sim.options.answer_delay_ms);
}

bool send_answer(PeerLink& link, const AnswerRequest& request)
{
    AnswerChanges changes = begin_answer(link, request.command);
    return finish_answer(link, request, changes);
}
