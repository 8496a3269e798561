// The run report where the build has no XML reader (the Windows build:
// Debian has no expat for its cross compiler, and the upstream sources
// would lack Debian's security fixes). Nothing is gathered; -j is refused
// before anything is sent (driver/report_output.cpp).
#include "records/run_context.h"
#include "records/run_report.h"

struct ReportGathering {};

void ReportGatheringDelete::operator()(ReportGathering* gathering) const
{
    delete gathering;
}

ReportGathering* new_report_gathering()
{
    return new ReportGathering;
}

void report_start(RunContext&, const char*, bool) {}
bool report_gathering(RunContext&) { return false; }
bool report_available() { return false; }
void report_transport(RunContext&, ProcessorGeneration) {}
void report_identity(RunContext&, const char*, const std::string&) {}
void report_tls(RunContext&, const char*, const char*) {}
void report_element_sent(RunContext&, std::string_view) {}
void report_token_sent(RunContext&, const char*) {}
void report_answer_bytes(RunContext&, const char*, size_t) {}
void report_answer_end(RunContext&, bool) {}
void report_reply_bytes(RunContext&, const char*, size_t) {}
void report_secret_value(RunContext&, std::string_view) {}
void report_error_line(RunContext&, std::string_view) {}
void report_processor_status(RunContext&, int32_t) {}
void report_image(RunContext&, const ReportImage&) {}
std::string render_run_report(RunContext&, int, bool) { return {}; }
size_t render_signal_report(int, int, char*, size_t) { return 0; }
size_t render_signal_report_after(long long, int, int, char*, size_t) { return 0; }
std::string quiet_answer_lines(RunContext&) { return {}; }
const char* exit_status_meaning(int, bool, bool) { return ""; }
