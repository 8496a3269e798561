#include "records/run_context.h"

RunContext::RunContext() : report(new_report_gathering()) {}
