// A one-line display of a long image transfer for the person at the
// terminal: bytes moved, percent and rate, redrawn in place on standard
// error. It draws only when standard error is a terminal, so standard
// output, the log, and everything a run writes when its standard error is a
// file or a pipe stay exactly as they are.
#pragma once

#include <cstdio>

#include <chrono>

constexpr int PROGRESS_LABEL_MAX = 47;

// One run's display. It draws on `output`: standard error when the run
// found it to be a terminal, a test's stream, or nullptr (nowhere).
struct ProgressDisplay {
    FILE* output = nullptr;
    bool active = false;
    char label[PROGRESS_LABEL_MAX + 1] = "";
    long long total = 0;
    long long done = 0;
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point drawn_at{};
    int drawn_length = 0;  // characters of the line on the screen now
};

// A transfer of total bytes starts; label names it ("Sending firmware
// image"). Draws the line at once.
void progress_begin(ProgressDisplay& progress, const char* label, long long total);
// bytes more have moved; the line is redrawn a few times a second at most.
void progress_advance(ProgressDisplay& progress, long long bytes);
// The transfer is over, complete or not: the line is drawn a last time with
// the average rate and ended, so it stays on the screen.
void progress_end(ProgressDisplay& progress);
// Takes the line off the screen before other console output; the next
// advance draws it again below that output.
void progress_hide(ProgressDisplay& progress);
