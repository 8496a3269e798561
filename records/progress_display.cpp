#include "records/progress_display.h"

#include <chrono>
#include <cstring>


#include "records/bounded_copy.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(200);
constexpr int LINE_SIZE = 160;

// "12.3 MiB/s": bytes per second in the largest unit that keeps a number
// of at least 1.
void format_rate(char* text, size_t size, double bytes_per_second)
{
    static const char* const units[] = {"B/s", "KiB/s", "MiB/s", "GiB/s"};
    int unit = 0;
    while (bytes_per_second >= 1024.0 && unit < 3) {
        bytes_per_second /= 1024.0;
        ++unit;
    }
    std::snprintf(text, size, "%.1f %s", bytes_per_second, units[unit]);
}

void draw(ProgressDisplay& progress, Clock::time_point now)
{
    double seconds = std::chrono::duration<double>(now - progress.started).count();
    char rate[32] = "-";
    if (seconds > 0.001)
        format_rate(rate, sizeof rate, static_cast<double>(progress.done) / seconds);
    long long percent = progress.total > 0 ? progress.done * 100 / progress.total : 100;
    if (percent > 100)
        percent = 100;

    char line[LINE_SIZE];
    int length = std::snprintf(line, sizeof line, "%s: %lld of %lld bytes (%lld%%), %s", progress.label,
                               progress.done, progress.total, percent, rate);
    if (length < 0)
        return;
    if (length >= LINE_SIZE)
        length = LINE_SIZE - 1;
    // Blanks over what a longer line before left on the screen.
    int cover = progress.drawn_length > length ? progress.drawn_length - length : 0;
    std::fprintf(progress.output, "\r%s%*s", line, cover, "");
    std::fflush(progress.output);
    progress.drawn_length = length;
    progress.drawn_at = now;
}

}  // namespace

void progress_begin(ProgressDisplay& progress, const char* label, long long total)
{
    if (progress.output == nullptr)
        return;
    progress.active = true;
    copy_bounded(progress.label, sizeof progress.label, label, PROGRESS_LABEL_MAX);
    progress.total = total;
    progress.done = 0;
    progress.started = Clock::now();
    draw(progress, progress.started);
}

void progress_advance(ProgressDisplay& progress, long long bytes)
{
    if (!progress.active)
        return;
    progress.done += bytes;
    Clock::time_point now = Clock::now();
    if (now - progress.drawn_at >= REDRAW_INTERVAL || progress.drawn_length == 0)
        draw(progress, now);
}

void progress_end(ProgressDisplay& progress)
{
    if (!progress.active)
        return;
    draw(progress, Clock::now());
    std::fputc('\n', progress.output);
    std::fflush(progress.output);
    progress.active = false;
    progress.drawn_length = 0;
}

void progress_hide(ProgressDisplay& progress)
{
    if (!progress.active || progress.drawn_length == 0)
        return;
    std::fprintf(progress.output, "\r%*s\r", progress.drawn_length, "");
    std::fflush(progress.output);
    progress.drawn_length = 0;
}
