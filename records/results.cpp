#include "records/results.h"

#include "records/run_report.h"
#include "records/run_state.h"

void record_failure(RunCode code)
{
    run_state.run_status = code_value(code);
}

void record_processor_status(int32_t status)
{
    run_state.run_status = status;
    report_processor_status(status);
}

bool run_going()
{
    return run_state.run_status == 0;
}
