#include "sim/byte_session.h"

#include "sim/sim_state.h"

namespace {

// Reads until link.input holds `marker`; it and everything before it are
// consumed.
bool take_through(PeerLink& link, const std::string& marker)
{
    size_t found;
    while ((found = link.input.find(marker)) == std::string::npos)
        if (!link_read(link))
            return false;
    link.input.erase(0, found + marker.size());
    return true;
}

// Reads until `count` bytes have come, noting the size of every read.
bool take_count(PeerLink& link, size_t count)
{
    while (link.input.size() < count) {
        size_t before = link.input.size();
        if (!link_read(link))
            return false;
        if (link.record != nullptr)
            link.record->read_sizes.push_back(static_cast<int>(link.input.size() - before));
    }
    link.input.erase(0, count);
    return true;
}

} // namespace

void serve_byte_steps(PeerLink& link, const std::vector<ByteStep>& steps)
{
    link.kind = "bytes";
    for (const ByteStep& step : steps) {
        bool going = true;
        switch (step.kind) {
        case ByteStep::Kind::send:
            going = link_write(link, step.text);
            break;
        case ByteStep::Kind::read_until:
            going = take_through(link, step.text);
            break;
        case ByteStep::Kind::read_count:
            going = take_count(link, step.count);
            break;
        case ByteStep::Kind::drop:
            link_close(link, CloseMode::drop, "server-drop");
            return;
        }
        if (!going)
            return;
    }
    while (link_read(link))
        link.input.clear();
}
