// Request latencies of one pass in a fixed log-linear histogram: 128 linear
// buckets per power of two, so a figure read from it is within 1% of the
// true value (within 0.4% at the bucket's middle), and recording is a few
// instructions with nothing allocated.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// Values below 256 ticks get a bucket each; above, 128 buckets per doubling
// up to 2^64.
constexpr size_t LatencyBucketCount = 7424;

struct LatencyHistogram {
    uint64_t counts[LatencyBucketCount];
    uint64_t total;  // recorded values
    uint64_t sum;    // of the values, for an exact mean
    uint64_t max;
};

// Latencies in microseconds, as a pass reports them.
struct LatencySummary {
    double mean = 0.0;
    double p50 = 0.0;
    double p90 = 0.0;
    double p99 = 0.0;
    double p999 = 0.0;
    double max = 0.0;
};

void ClearLatencies(LatencyHistogram& histogram);
// Adds what `from` recorded to `into`, as if recorded there.
void MergeLatencies(LatencyHistogram& into, const LatencyHistogram& from);

inline size_t LatencyBucketOf(uint64_t ticks) {
    if (ticks < 256) return static_cast<size_t>(ticks);
    const int shift = std::bit_width(ticks) - 8;
    return static_cast<size_t>(shift) * 128 + static_cast<size_t>(ticks >> shift);
}

inline void RecordLatency(LatencyHistogram& histogram, uint64_t ticks) {
    histogram.counts[LatencyBucketOf(ticks)] += 1;
    histogram.total += 1;
    histogram.sum += ticks;
    if (ticks > histogram.max) histogram.max = ticks;
}

// The value at or below which `fraction` of the recorded values lie (the
// nearest rank), as the middle of its bucket and never above the largest
// value recorded; 0 when nothing was recorded.
uint64_t LatencyAt(const LatencyHistogram& histogram, double fraction);

// In microseconds, from ticks of a counter running at `frequency` per second.
LatencySummary SummarizeLatencies(const LatencyHistogram& histogram, int64_t frequency);
