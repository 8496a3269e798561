#include "sim/stream_session.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "sim/answers.h"
#include "sim/check_points.h"
#include "sim/sim_state.h"
#include "sim/tag_reader.h"

namespace {

// More is read and counted, but not kept.
constexpr size_t largest_kept_image = 64u * 1024 * 1024;

void move_input_to_reader(PeerLink& link, TagReader& reader)
{
    reader_feed(reader, link.input.data(), link.input.size());
    link.input.clear();
}

bool receive_image(PeerLink& link, TagReader& reader, size_t length)
{
    std::string image;
    size_t received = 0;
    size_t waiting = std::min(length, reader_waiting(reader));
    reader_take_raw(reader, image, waiting);
    received += waiting;
    while (received < length) {
        if (!link_read(link))
            return false;
        size_t take = std::min(length - received, link.input.size());
        if (image.size() < largest_kept_image)
            image.append(link.input, 0, std::min(take, largest_kept_image - image.size()));
        received += take;
        link.input.erase(0, take);
    }
    move_input_to_reader(link, reader);
    transcript_image(link.transcript, image);
    return true;
}

bool send_floppy(PeerLink& link, const std::string& command)
{
    wait_answer_delay();
    AnswerChanges changes = begin_answer(link, command);
    if (!link_is_open(link))
        return false;
    std::string other_image;
    if (changes.has_image) {
        std::ifstream file(changes.image, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        if (!file) {
            std::fprintf(stderr, "mpsim: %s: cannot read the image\n", changes.image.c_str());
            link_close(link, CloseMode::drop, "server-drop");
            return false;
        }
        other_image = bytes.str();
    }
    const std::string& image = changes.has_image ? other_image : sim.floppy_image;
    std::string length_field;
    if (changes.has_length_field) {
        length_field = changes.length_field;
    } else {
        length_field = "'";
        length_field += std::to_string(image.size());
        length_field += '\'';
        length_field.resize(std::max<size_t>(length_field.size(), 16), ' ');
    }
    if (!link_write(link, length_field))
        return false;
    for (size_t at = 0; at < image.size(); at += 16384)
        if (!link_write(link, image.substr(at, 16384)))
            return false;
    AnswerRequest request;
    request.command = command;
    return finish_answer(link, request, changes);
}

bool answer_times(PeerLink& link, const CheckPoint& point, int times)
{
    for (int i = 0; i < times; ++i) {
        AnswerRequest request;
        request.command = point.name;
        request.with_data = point.with_data;
        wait_answer_delay();
        if (!send_answer(link, request))
            return false;
    }
    return true;
}

bool handle_check_point(PeerLink& link, TagReader& reader, const CheckPoint& point)
{
    if (point.action == CheckAction::receive_image)
        reader_drop_line_end(reader);
    if (!answer_times(link, point, point.answers_before))
        return false;
    if (point.action == CheckAction::receive_image && !receive_image(link, reader, point.image_length))
        return false;
    if (point.action == CheckAction::send_floppy)
        return send_floppy(link, point.name);
    return answer_times(link, point, point.answers_after);
}

} // namespace

void serve_stream(PeerLink& link)
{
    link.kind = "stream";
    TagReader reader;
    Nesting nesting;
    move_input_to_reader(link, reader);
    while (true) {
        Tag tag;
        while (reader_next(reader, tag)) {
            remember_written(link.processor->written, nesting, tag);
            if (!handle_check_point(link, reader, judge_tag(nesting, tag)))
                return;
        }
        if (!link_read(link))
            return;
        move_input_to_reader(link, reader);
    }
}
