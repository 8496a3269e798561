#include "sim/sim_state.h"

#include "sim/peer_link.h"
#include "sim/transcript.h"

SimState sim;

void reset_sim_state()
{
    sim = SimState{};
    transcript_set_folder("");
    stop_requested = false;
}
