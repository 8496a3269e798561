#include "driver/run_state.h"

RunState run_state;
