// A plain send whose verbose trace shows another text in place of the one
// written, so that a secret inside a longer line never reaches the console
// or the log.
#pragma once

// Writes text like plain_send; the "Sending" trace shows trace_text.
// 0 when sent, run_status when it was already set, 6 when the write failed.
int plain_send_traced_as(const char* text, const char* trace_text);
