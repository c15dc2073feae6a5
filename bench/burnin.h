#pragma once

// What both burn-ins (headless and from the window) read during a run and
// the figures they give from it.

#include "common.h"

namespace bench {

// What is read at one point of the run.
struct BurnInMark {
    std::int64_t ns = 0;
    double cpuMs = 0;
    long rssKiB = 0;
};

// The expectations at which marks are taken: the first, a tenth, a fifth,
// nine tenths and the last.
struct BurnInPoints {
    long at[5];
    explicit BurnInPoints(long n)
        : at{1, std::max(2L, n / 10), std::max(2L, n / 5), std::max(2L, n - n / 10), n} {}
};

// Memory and CPU over the run, as PREFIX_* result lines.
inline void burnInFigures(const std::string& prefix, const BurnInPoints& points,
                          const BurnInMark (&marks)[5]) {
    const long* at = points.at;
    const double firstUs = (marks[1].cpuMs - marks[0].cpuMs) * 1000.0 / double(at[1] - at[0]);
    const double lastUs = (marks[4].cpuMs - marks[3].cpuMs) * 1000.0 / double(at[4] - at[3]);
    const auto put = [&](const char* name, double value) {
        result((prefix + name).c_str(), value);
    };
    put("_expectations_per_s", double(at[4] - 1) / (double(marks[4].ns - marks[0].ns) / 1e9));
    put("_rss_fifth_mib", double(marks[2].rssKiB) / 1024.0);
    put("_rss_end_mib", double(marks[4].rssKiB) / 1024.0);
    put("_rss_growth_mib", double(marks[4].rssKiB - marks[2].rssKiB) / 1024.0);
    put("_cpu_first_tenth_us", firstUs);
    put("_cpu_last_tenth_us", lastUs);
    put("_cpu_change_pct", 100.0 * (lastUs / firstUs - 1.0));
}

} // namespace bench
