// Process-wide records of the simulated processor.
#pragma once

#include <string>

#include "sim/scenario.h"
#include "sim/sim_options.h"

struct SimState {
    SimOptions options;
    Scenario scenario;
    std::string floppy_image;     // sent for COPY_VIRTUAL_FLOPPY
    bool firmware_stored = false; // an upload has delivered a firmware image
    std::string firmware_image;
    std::string cookie;           // MoxclFlash value handed out for it
};

extern SimState sim;
