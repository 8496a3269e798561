// The firmware update an HTTP-mode script asks for: found by the body pass
// (in its BodyPlan), carried out by the firmware upload, which the run
// hands it to.
#pragma once

#include <cstdint>
#include <string>

struct FirmwareReference {
    bool firmware_update_present = false;
    std::string firmware_image_path;
    int32_t firmware_image_length = 0;
    std::string multipart_boundary;
};
