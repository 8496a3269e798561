#include "records/results.h"

#include "records/run_context.h"
#include "records/run_report.h"

void record_failure(RunContext& run, RunCode code)
{
    run.state.run_status = code_value(code);
}

void record_processor_status(RunContext& run, int32_t status)
{
    run.state.run_status = status;
    report_processor_status(run, status);
}

bool run_going(const RunContext& run)
{
    return run.state.run_status == 0;
}
