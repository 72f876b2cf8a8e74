#include "engine/latency_histogram.h"

#include <cmath>
#include <cstring>

namespace {

uint64_t BucketMiddle(size_t bucket) {
    if (bucket < 256) return bucket;
    const size_t shift = bucket / 128 - 1;
    const uint64_t low = static_cast<uint64_t>(bucket % 128 + 128) << shift;
    return low + ((uint64_t{1} << shift) - 1) / 2;
}

}  // namespace

void ClearLatencies(LatencyHistogram& histogram) {
    std::memset(&histogram, 0, sizeof histogram);
}

void MergeLatencies(LatencyHistogram& into, const LatencyHistogram& from) {
    for (size_t bucket = 0; bucket < LatencyBucketCount; ++bucket)
        into.counts[bucket] += from.counts[bucket];
    into.total += from.total;
    into.sum += from.sum;
    if (from.max > into.max) into.max = from.max;
}

uint64_t LatencyAt(const LatencyHistogram& histogram, double fraction) {
    if (histogram.total == 0) return 0;
    auto rank = static_cast<uint64_t>(std::ceil(fraction * static_cast<double>(histogram.total)));
    if (rank < 1) rank = 1;
    uint64_t seen = 0;
    for (size_t bucket = 0; bucket < LatencyBucketCount; ++bucket) {
        seen += histogram.counts[bucket];
        if (seen >= rank) {
            const uint64_t middle = BucketMiddle(bucket);
            return middle < histogram.max ? middle : histogram.max;
        }
    }
    return histogram.max;
}

LatencySummary SummarizeLatencies(const LatencyHistogram& histogram, int64_t frequency) {
    LatencySummary summary;
    if (histogram.total == 0 || frequency <= 0) return summary;
    // One division, last: 35967 ticks at 10 MHz give the double nearest to
    // 3596.7, where multiplying by 0.1 gives 3596.7000000000003.
    const auto micros = [&](uint64_t ticks) {
        return static_cast<double>(ticks) * 1'000'000.0 / static_cast<double>(frequency);
    };
    summary.mean = static_cast<double>(histogram.sum) * 1'000'000.0 /
                   (static_cast<double>(histogram.total) * static_cast<double>(frequency));
    summary.p50 = micros(LatencyAt(histogram, 0.50));
    summary.p90 = micros(LatencyAt(histogram, 0.90));
    summary.p99 = micros(LatencyAt(histogram, 0.99));
    summary.p999 = micros(LatencyAt(histogram, 0.999));
    summary.max = micros(histogram.max);
    return summary;
}
