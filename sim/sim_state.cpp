#include "sim/sim_state.h"

#include "sim/peer_link.h"

SimState sim;

void reset_sim_state()
{
    sim = SimState{};
    stop_requested = false;
}
