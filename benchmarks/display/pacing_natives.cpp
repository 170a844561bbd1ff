// The frame-pacing benchmark's natives: the host's monotonic time at the end
// of each frame, and a report of the intervals between them.
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/board/debug_console.h"
#include "sim_interrupt.h"

namespace {

std::vector<double> g_marks;  // milliseconds

double now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

}  // namespace

extern "C" void Java_bench_Marks_mark() {
    vSimNoPreemptEnter();
    g_marks.push_back(now_ms());
    vSimNoPreemptExit();
}

extern "C" void Java_bench_Marks_report() {
    vSimNoPreemptEnter();
    std::vector<double> intervals;
    for (std::size_t i = 1; i < g_marks.size(); ++i) intervals.push_back(g_marks[i] - g_marks[i - 1]);
    std::sort(intervals.begin(), intervals.end());
    vSimNoPreemptExit();
    if (intervals.empty()) return;
    const auto at = [&](double q) { return intervals[static_cast<std::size_t>(q * (intervals.size() - 1))]; };
    double sum = 0;
    for (double v : intervals) sum += v;
    DbgConsole_Printf("frames=%zu total_ms=%.1f mean_ms=%.2f median_ms=%.2f p90_ms=%.2f max_ms=%.2f\n",
                      intervals.size(), g_marks.back() - g_marks.front(), sum / static_cast<double>(intervals.size()),
                      at(0.5), at(0.9), intervals.back());
}
