#include "sim/http_session.h"

#include <cstdlib>
#include <openssl/rand.h>
#include <strings.h>
#include <vector>

#include "sim/answers.h"
#include "sim/check_points.h"
#include "sim/multipart.h"
#include "sim/sim_state.h"
#include "sim/tag_reader.h"

namespace {

constexpr size_t longest_head = 65536;
constexpr long long largest_body = 64LL * 1024 * 1024;
const char* const probe_body = "<MOXCL VERSION=\"2.0\"></MOXCL>";

struct HttpRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

std::string header(const HttpRequest& request, const char* name)
{
    for (const auto& field : request.headers)
        if (strcasecmp(field.first.c_str(), name) == 0)
            return field.second;
    return "";
}

bool has_header(const HttpRequest& request, const char* name)
{
    for (const auto& field : request.headers)
        if (strcasecmp(field.first.c_str(), name) == 0)
            return true;
    return false;
}

void parse_head(const std::string& head, HttpRequest& request)
{
    size_t line_end = head.find("\r\n");
    std::string first = head.substr(0, line_end);
    size_t space = first.find(' ');
    request.method = first.substr(0, space);
    if (space != std::string::npos) {
        size_t path_end = first.find(' ', space + 1);
        request.path = first.substr(space + 1, path_end == std::string::npos ? std::string::npos
                                                                           : path_end - space - 1);
    }
    size_t at = line_end == std::string::npos ? head.size() : line_end + 2;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(at, end - at);
        at = end + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        size_t value_at = line.find_first_not_of(" \t", colon + 1);
        request.headers.emplace_back(line.substr(0, colon),
                                     value_at == std::string::npos ? "" : line.substr(value_at));
    }
}

// The MoxclFlash value of the request's Cookie headers; empty when none.
std::string flash_cookie(const HttpRequest& request)
{
    for (const auto& field : request.headers) {
        if (strcasecmp(field.first.c_str(), "Cookie") != 0)
            continue;
        size_t at = field.second.find("MoxclFlash=");
        if (at == std::string::npos)
            continue;
        at += 11;
        size_t end = field.second.find_first_of("; \t", at);
        return field.second.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    return "";
}

std::string fresh_cookie()
{
    unsigned char random[16];
    if (RAND_bytes(random, sizeof random) != 1)
        return "0123456789abcdef0123456789abcdef";
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : random) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

void reply_status_only(PeerLink& link, const char* status_line)
{
    wait_answer_delay();
    link_write(link, std::string("HTTP/1.1 ") + status_line +
                         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

// An older processor does not speak HTTP: it answers a probe with a short
// response of its own.
void answer_probe_as_stream(PeerLink& link)
{
    link.kind = "probe";
    wait_answer_delay();
    AnswerRequest request;
    request.command = "PROBE";
    send_answer(link, request);
}

void flash_outcome(const ProcessorState& processor, const HttpRequest& request, const Tag& command,
                   AnswerRequest& answer)
{
    const std::string* length_text = tag_attribute(command, "IMAGE_LENGTH");
    long long length = length_text != nullptr ? std::atoll(length_text->c_str()) : -1;
    if (!processor.firmware_stored || flash_cookie(request) != processor.cookie || processor.cookie.empty()) {
        answer.status = "0x0021";
        answer.message = "No firmware image has been uploaded";
    } else if (length != static_cast<long long>(processor.firmware_image.size())) {
        answer.status = "0x0022";
        answer.message = "Firmware image length does not match the uploaded image";
    } else if (!sim.scenario.flash_completes) {
        answer.message = "Firmware flash in progress";
    } else {
        answer.message = "Firmware flash completed successfully";
    }
}

void answer_script(PeerLink& link, const HttpRequest& request)
{
    link.kind = request.body.rfind(probe_body, 0) == 0 && !has_header(request, "TE") ? "probe"
                                                                                     : "http";
    wait_answer_delay();
    AnswerChanges head = changes_for_reply_head(sim.scenario, link.number);
    std::string head_text = head.has_head ? head.head
                                          : "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"
                                            "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    if (!(head.head_split.empty() ? link_write(link, head_text) : link_write_pieces(link, head_text, head.head_split)))
        return;
    TagReader reader;
    Nesting nesting;
    reader_feed(reader, request.body.data(), request.body.size());
    Tag tag;
    while (reader_next(reader, tag)) {
        remember_written(link.processor->written, nesting, tag);
        CheckPoint point = judge_tag(nesting, tag);
        nesting.awaited_image_element.clear();
        if (!point.command_done)
            continue;
        AnswerRequest answer;
        answer.as_chunk = true;
        answer.command = upper_name(point.command.name);
        answer.with_data = is_query_name(answer.command);
        if (answer.command == "UPDATE_MOX_FIRMWARE")
            flash_outcome(*link.processor, request, point.command, answer);
        if (!send_answer(link, answer))
            return;
    }
    link_write(link, "0\r\n\r\n");
}

void answer_upload(PeerLink& link, const HttpRequest& request)
{
    link.kind = "upload";
    std::vector<FormPart> parts;
    const FormPart* image = nullptr;
    if (parse_multipart(request.body, boundary_of(header(request, "Content-Type")), parts))
        for (const FormPart& part : parts)
            if (part.name == "fwimgfile")
                image = &part;
    wait_answer_delay();
    AnswerChanges changes = begin_answer(link, "UPLOAD");
    if (!link_is_open(link))
        return;
    AnswerRequest answer;
    answer.command = "UPLOAD";
    answer.literal = true;
    if (image == nullptr) {
        answer.text = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        finish_answer(link, answer, changes);
        return;
    }
    ProcessorState& processor = *link.processor;
    processor.firmware_stored = true;
    processor.firmware_image = image->data;
    processor.cookie = sim.scenario.cookie_value.empty() ? fresh_cookie() : sim.scenario.cookie_value;
    transcript_image(link.transcript, image->data);
    const std::string page = "<html><body>Firmware image received</body></html>\r\n";
    answer.text = "HTTP/1.1 200 OK\r\n";
    if (sim.scenario.send_cookie)
        answer.text += "Set-Cookie: MoxclFlash=" + processor.cookie + "; path=/\r\n";
    answer.text += "Cache-Control: no-cache, no-store, must-revalidate\r\n"
                   "Content-Type: text/html\r\nContent-Length: " +
                   std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
    finish_answer(link, answer, changes);
}

} // namespace

void serve_http(PeerLink& link)
{
    link.kind = "http";
    size_t head_end;
    while ((head_end = link.input.find("\r\n\r\n")) == std::string::npos) {
        if (link.input.size() > longest_head) {
            reply_status_only(link, "431 Request Header Fields Too Large");
            return;
        }
        if (!link_read(link))
            return;
    }
    HttpRequest request;
    parse_head(link.input.substr(0, head_end), request);
    long long length = std::atoll(header(request, "Content-Length").c_str());
    if (length < 0 || length > largest_body) {
        reply_status_only(link, "413 Content Too Large");
        return;
    }
    size_t body_at = head_end + 4;
    if (!link_fill(link, body_at + static_cast<size_t>(length)))
        return;
    request.body = link.input.substr(body_at, static_cast<size_t>(length));
    link.input.erase(0, body_at + static_cast<size_t>(length));

    if (request.method == "POST" && request.path == "/moxcl") {
        if (sim.options.generation == Generation::stream)
            answer_probe_as_stream(link);
        else
            answer_script(link, request);
    } else if (request.method == "POST" && request.path == "/cgi-bin/uploadMoxclFiles" &&
               sim.options.generation == Generation::http) {
        answer_upload(link, request);
    } else if (sim.options.generation == Generation::stream) {
        answer_probe_as_stream(link);
    } else {
        reply_status_only(link, "404 Not Found");
    }
}
