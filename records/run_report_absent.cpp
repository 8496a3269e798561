// The run report where the build has no XML reader (the Windows build:
// Debian has no expat for its cross compiler, and the upstream sources
// would lack Debian's security fixes). Nothing is gathered; -j is refused
// before anything is sent (driver/report_output.cpp).
#include "records/run_report.h"

void report_start(const char*) {}
bool report_gathering() { return false; }
bool report_available() { return false; }
void report_transport(ProcessorGeneration) {}
void report_identity(const char*, const std::string&) {}
void report_element_sent(std::string_view) {}
void report_token_sent(const char*) {}
void report_answer_bytes(const char*, size_t) {}
void report_answer_end(bool) {}
void report_reply_bytes(const char*, size_t) {}
void report_secret_value(std::string_view) {}
void report_error_line(std::string_view) {}
void report_processor_status(int32_t) {}
void report_image(const ReportImage&) {}
std::string render_run_report(int, bool) { return {}; }
size_t render_signal_report(int, int, char*, size_t) { return 0; }
std::string quiet_answer_lines() { return {}; }
const char* exit_status_meaning(int, bool, bool) { return ""; }
void reset_run_report() {}
