#pragma once

// What a benchmark reads of its own process: peak resident memory and
// processor time.

#include <sys/resource.h>

inline rusage usageNow() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

inline double peakRssMiB() { return static_cast<double>(usageNow().ru_maxrss) / 1024.0; }

// Processor time of this process (user and system), which other work on a
// shared machine does not stretch the way it stretches wall-clock time.
inline double cpuSeconds() {
    const rusage usage = usageNow();
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
