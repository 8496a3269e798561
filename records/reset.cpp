#include "records/reset.h"

#include "records/progress_display.h"
#include "records/run_report.h"
#include "records/run_settings.h"
#include "records/run_state.h"

void reset_records()
{
    settings = RunSettings{};
    run_state = RunState{};
    reset_progress();
    reset_run_report();
}
