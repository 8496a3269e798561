#include "prepare/script_body_pass.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include "driver/command_line.h"
#include "driver/run_state.h"
#include "link/stream_exchange.h"
#include "link/traced_send.h"
#include "platform/text_stream.h"
#include "prepare/credential_override.h"
#include "prepare/login_rewrite.h"
#include "prepare/multipart_boundary.h"

FirmwareReference firmware_reference;

namespace {

constexpr int LINE_SIZE = 2048;
constexpr std::string_view IMAGE_LOCATION = "IMAGE_LOCATION=\"";
constexpr const char* PASSWORD_MASK = "********";

// The firmware elements the measuring pass generated, in script order: the
// sending pass sends these same texts, so that the body matches the
// measured length even when an image changes in between.
std::vector<std::string> measured_elements;

int send_text(const char* text, const char* trace_text)
{
    return trace_text == nullptr ? plain_send(text) : plain_send_traced_as(text, trace_text);
}

int reject(int status)
{
    run_state.run_status = status;
    return -1;
}

// The generated element for the image at path, and its length; -1 when the
// image cannot be opened or is too large to state.
int firmware_element(bool measuring, std::string& element)
{
    const std::string& path = firmware_reference.firmware_image_path;
    FILE* image = std::fopen(path.c_str(), "rb");
    if (image == nullptr) {
        std::printf("Unable to open the firmware image update file\r\n");
        return -1;
    }
    long start = std::ftell(image);
    std::fseek(image, 0, SEEK_END);
    long image_length = std::ftell(image) - start;
    std::rewind(image);
    if (image_length < 0 || image_length > INT32_MAX) {
        std::printf("ERROR: Firmware image \"%s\" is too large to send.\r\n", path.c_str());
        std::fclose(image);
        return reject(1);
    }
    firmware_reference.firmware_image_length = static_cast<int32_t>(image_length);
    int size = std::snprintf(nullptr, 0, "\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"%s\" IMAGE_LENGTH=\"%ld\"/>\r\n",
                             path.c_str(), image_length);
    element.assign(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(element.data(), element.size(), "\r\n<UPDATE_MOX_FIRMWARE IMAGE_LOCATION=\"%s\" IMAGE_LENGTH=\"%ld\"/>\r\n",
                  path.c_str(), image_length);
    element.pop_back();
    if (measuring) {
        // The boundary's numbers run from 0 to 32767 whatever the C
        // library's own range is.
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        firmware_reference.multipart_boundary =
            make_multipart_boundary(image, [] { return std::rand() % 32768; });
    }
    std::fclose(image);
    return 0;
}

// Takes the image path out of a firmware reference line; -1 when it is
// rejected.
int take_image_path(std::string_view line, size_t location)
{
    size_t path_start = location + IMAGE_LOCATION.size();
    size_t path_end = line.find('"', path_start);
    if (path_end == std::string_view::npos) {
        std::printf("ERROR: Firmware image location \"%.*s has no closing quote.\r\n",
                    static_cast<int>(line.size() - path_start), line.data() + path_start);
        return reject(1);
    }
    firmware_reference.firmware_image_path.assign(line.substr(path_start, path_end - path_start));
    const std::string& path = firmware_reference.firmware_image_path;
    if (path.find(".bin") == std::string::npos) {
        std::printf("ERROR: Firmware image \"%s\" is not a \".bin\" file.\r\n", path.c_str());
        return reject(1);
    }
    return 0;
}

// Prints why an overridden LOGIN line cannot be rewritten; -1.
int refuse_login_line(LoginRewrite result, int line_number)
{
    if (result == LoginRewrite::no_password)
        std::printf("ERROR: The LOGIN element on line %d has no PASSWORD attribute on the same line: "
                    "the command-line credentials cannot take the place of the script's.\r\n",
                    line_number);
    else
        std::printf("ERROR: The LOGIN element on line %d does not end on the same line as its PASSWORD attribute: "
                    "the command-line password cannot take the place of the script's.\r\n",
                    line_number);
    return reject(1);
}

// The body length so far, as the Content-length can state it.
int32_t stated_length(int64_t body_length)
{
    return body_length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(body_length);
}

}  // namespace

int script_body_pass(bool send, int32_t& length)
{
    return script_body_pass_through(send, length, send_text);
}

int script_body_pass_through(bool send, int32_t& length, BodySender sender)
{
    if (send && run_state.run_status != 0)
        return run_state.run_status;
    std::rewind(run_state.script_input);
    length = 0;
    if (!send)
        measured_elements.clear();
    size_t elements_sent = 0;
    int64_t body_length = 0;
    int line_number = 1;

    char piece[LINE_SIZE];
    std::string line;
    std::string traced;
    while (text_gets(piece, sizeof piece, run_state.script_input) != nullptr) {
        size_t piece_length = std::strlen(piece);
        bool line_ends = piece_length > 0 && piece[piece_length - 1] == '\n';
        while (piece_length > 0 && (piece[piece_length - 1] == '\r' || piece[piece_length - 1] == '\n'))
            --piece_length;
        line.assign(piece, piece_length);
        const char* trace_text = nullptr;

        if (credentials_overridden()) {
            std::string rewritten;
            LoginRewrite result = rewrite_login_line(line, get_user_name(), get_password(), rewritten);
            if (result == LoginRewrite::no_password || result == LoginRewrite::no_tag_end)
            {
                length = stated_length(body_length);
                return refuse_login_line(result, line_number);
            }
            if (result == LoginRewrite::rewritten) {
                if (get_password()[0] != '\0') {
                    // The trace shows the line with the password masked.
                    rewrite_login_line(line, get_user_name(), PASSWORD_MASK, traced);
                    traced += "\r\n";
                    trace_text = traced.c_str();
                }
                line = std::move(rewritten);
            }
        }

        if (line.find("UPDATE_MOX_FIRMWARE") != std::string::npos) {
            firmware_reference.firmware_update_present = true;
            size_t location = line.find(IMAGE_LOCATION);
            if (location != std::string::npos) {
                length = stated_length(body_length);
                if (take_image_path(line, location) != 0)
                    return -1;
                std::string element;
                if (send && elements_sent < measured_elements.size()) {
                    element = measured_elements[elements_sent];
                } else {
                    if (firmware_element(!send, element) != 0)
                        return -1;
                    if (!send)
                        measured_elements.push_back(element);
                }
                ++elements_sent;
                body_length += static_cast<int64_t>(element.size());
                if (send)
                    sender(element.c_str(), nullptr);
                if (line_ends)
                    ++line_number;
                continue;
            }
        }

        body_length += static_cast<int64_t>(line.size()) + 2;
        if (send) {
            line += "\r\n";
            sender(line.c_str(), trace_text);
        }
        if (line_ends)
            ++line_number;
    }
    if (body_length > INT32_MAX) {
        std::printf("ERROR: The script is too long to send.\r\n");
        return reject(1);
    }
    length = stated_length(body_length);
    return 0;
}
