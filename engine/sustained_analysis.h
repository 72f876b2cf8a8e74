// What a sustained write's trace says: the stretches of steady speed it falls
// into, where the drive's write cache ended, and the slowest five seconds.
//
// The rule, for people who read the figures: each stretch (plateau) starts
// with a level, the median speed of its first 5 s. A new stretch starts at the
// first sample that left that level when the 5 s medians, taken from there on,
// all stay more than 30% above it, or all more than 30% below it, for 10 s.
// A change that the trace does not follow for 10 s (a run that ends or is
// stopped sooner) is not a change.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr double TraceIntervalSeconds = 0.5;
constexpr int64_t BytesPerGiB = 1'073'741'824;

// One sample of the write, taken every half second.
struct TracePoint {
    double seconds = 0.0;      // since the write started
    int64_t bytes = 0;         // completed since the write started
    double mbps = 0.0;         // over the interval since the previous sample
    int64_t deviceBytes = -1;  // what the device counted as written in that interval; -1: unknown
};

// Samples first to last, inclusive; fromBytes is where the one before it ended.
struct Plateau {
    size_t first = 0;
    size_t last = 0;
    int64_t fromBytes = 0;
    int64_t toBytes = 0;
    double medianMBps = 0.0;
};

struct TraceFindings {
    std::vector<Plateau> plateaus;  // cover the trace in order, without gaps
    bool dropFound = false;         // a plateau ended in a slower one: the cache
    int64_t cacheBytes = 0;         // written when the first such plateau ended
    double cacheMBps = 0.0;         // its median
    double afterMBps = 0.0;         // the median of the plateau that followed it
    double medianMBps = 0.0;        // of the whole trace
    double lowest5sMBps = 0.0;      // the slowest 5 s, or the whole trace when shorter
};

// What a sustained write leaves for its report and its front-end.
struct SustainedTrace {
    int64_t limitBytes = 0;  // the most it would write
    std::vector<TracePoint> trace;
    TraceFindings findings;
    std::wstring conclusion;  // ConclusionText of the findings
};

// The sample's speed, with anything but a finite, non-negative number taken
// as a stall, so a damaged trace still sorts, sums and draws.
double SampleSpeed(const TracePoint& point);

TraceFindings AnalyseTrace(const std::vector<TracePoint>& trace);

// "write cache: about N GiB at A MB/s, then B MB/s", or, without a drop,
// "no drop within N GiB: A MB/s throughout".
std::wstring ConclusionText(const TraceFindings& findings, int64_t writtenBytes);

// A drop was found and the speed has held since for this long: writing on
// would only show the same figure again.
bool DropHasHeld(const TraceFindings& findings, const std::vector<TracePoint>& trace,
                 double seconds);

// Two decimals of a GiB, as the texts and the report show a size.
inline std::wstring GiBText(int64_t bytes) {
    return FormatTwoDecimals(static_cast<double>(bytes) / static_cast<double>(BytesPerGiB));
}
