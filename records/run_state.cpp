#include "records/run_state.h"

RunState run_state;
