#include "engine/sustained_analysis.h"

#include "platform/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Stretch {
    double seconds;
    double mbps;
};

// Samples every half second at each stretch's speed; every seventh sample is
// off by up to 25%, and every thirteenth stalls, as real traces do.
std::vector<TracePoint> Scripted(const std::vector<Stretch>& stretches, bool noisy) {
    std::vector<TracePoint> trace;
    int64_t bytes = 0;
    for (const Stretch& stretch : stretches) {
        for (double t = 0.0; t < stretch.seconds; t += TraceIntervalSeconds) {
            const size_t n = trace.size();
            double mbps = stretch.mbps;
            if (noisy && n % 7 == 3) mbps *= (n % 2 == 0) ? 1.25 : 0.75;
            if (noisy && n % 13 == 5) mbps = 0.0;
            bytes += static_cast<int64_t>(mbps * 1e6 * TraceIntervalSeconds);
            trace.push_back({static_cast<double>(n + 1) * TraceIntervalSeconds, bytes, mbps, -1});
        }
    }
    return trace;
}

struct Case {
    const char* name;
    std::vector<Stretch> stretches;
    bool noisy;
    std::vector<size_t> plateauStarts;  // first sample of each plateau
    std::vector<double> medians;
    const char* conclusion;
    double lowest5s;
};

const Case Cases[] = {
    {"cliff", {{20, 400}, {30, 100}}, false, {0, 40}, {400, 100},
     "write cache: about 7.45 GiB at 400.00 MB/s, then 100.00 MB/s", 100},
    // The slower speed from the 9th sample on: the first plateau is shorter than 5 s.
    {"cliff after four seconds", {{4, 400}, {17, 100}}, false, {0, 8}, {400, 100},
     "write cache: about 1.49 GiB at 400.00 MB/s, then 100.00 MB/s", 100},
    {"two steps", {{15, 400}, {15, 250}, {15, 100}}, false, {0, 30, 60}, {400, 250, 100},
     "write cache: about 5.59 GiB at 400.00 MB/s, then 250.00 MB/s", 100},
    {"a rise is no drop", {{12, 100}, {12, 400}}, false, {0, 24}, {100, 400},
     "no drop within 5.59 GiB: 250.00 MB/s throughout", 100},
    {"noise without a cliff", {{60, 400}}, true, {0}, {400},
     "no drop within 20.68 GiB: 400.00 MB/s throughout", 350},
    {"noisy cliff", {{20, 400}, {30, 100}}, true, {0, 40}, {400, 100},
     "write cache: about 6.94 GiB at 400.00 MB/s, then 100.00 MB/s", 87.5},
    // Under 10 s at the slower speed: not enough to call it a change.
    {"drop at the very end", {{30, 400}, {9.5, 100}}, false, {0}, {400},
     "no drop within 12.06 GiB: 400.00 MB/s throughout", 100},
    {"stop before ten seconds", {{3, 400}, {5, 100}}, false, {0}, {100},
     "no drop within 1.58 GiB: 100.00 MB/s throughout", 100},
    {"empty trace", {}, false, {}, {}, "no drop within 0.00 GiB: 0.00 MB/s throughout", 0},
};

TEST(SustainedAnalysis, SplitsScriptedTracesIntoPlateaus) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.name);
        const std::vector<TracePoint> trace = Scripted(c.stretches, c.noisy);
        const TraceFindings findings = AnalyseTrace(trace);
        ASSERT_EQ(findings.plateaus.size(), c.plateauStarts.size());
        for (size_t p = 0; p < findings.plateaus.size(); ++p) {
            const Plateau& plateau = findings.plateaus[p];
            EXPECT_EQ(plateau.first, c.plateauStarts[p]);
            EXPECT_EQ(plateau.fromBytes, plateau.first == 0 ? 0 : trace[plateau.first - 1].bytes);
            EXPECT_EQ(plateau.toBytes, trace[plateau.last].bytes);
            EXPECT_NEAR(plateau.medianMBps, c.medians[p], 1e-9);
        }
        if (!trace.empty()) {
            EXPECT_EQ(findings.plateaus.back().last, trace.size() - 1);
        }
        const int64_t written = trace.empty() ? 0 : trace.back().bytes;
        EXPECT_EQ(Utf8FromWide(ConclusionText(findings, written)), c.conclusion);
        EXPECT_NEAR(findings.lowest5sMBps, c.lowest5s, 0.5);
    }
}

// A drive whose speed wanders slowly by up to 20% either way, over stretches
// longer than the 10 s a change must hold: inside the 30% band, so one
// plateau and no cache, however long each excursion lasts.
TEST(SustainedAnalysis, ASlowWobbleWithinTheBandStaysOnePlateau) {
    constexpr double Pi = 3.14159265358979323846;
    for (const double wobble : {0.10, 0.20}) {
        SCOPED_TRACE(wobble);
        std::vector<TracePoint> trace;
        int64_t bytes = 0;
        // 40 s a swing, starting 2.5 s before a crossing so the first 5 s sit at 400 MB/s.
        for (int n = 0; n < 240; ++n) {
            const double seconds = (n + 1) * TraceIntervalSeconds;
            const double mbps = 400.0 * (1.0 + wobble * std::sin(2.0 * Pi * (seconds - 2.75) / 40.0));
            bytes += static_cast<int64_t>(mbps * 1e6 * TraceIntervalSeconds);
            trace.push_back({seconds, bytes, mbps, -1});
        }
        const TraceFindings findings = AnalyseTrace(trace);
        EXPECT_EQ(findings.plateaus.size(), 1u);
        EXPECT_FALSE(findings.dropFound);
        EXPECT_NEAR(findings.medianMBps, 400.0, 400.0 * wobble * 0.2);
    }
}

TEST(SustainedAnalysis, DamagedSpeedsCountAsStalls) {
    std::vector<TracePoint> trace = Scripted({{10, 200}}, false);
    trace[2].mbps = -5.0;
    trace[3].mbps = std::numeric_limits<double>::quiet_NaN();
    trace[4].mbps = std::numeric_limits<double>::infinity();
    const TraceFindings findings = AnalyseTrace(trace);
    ASSERT_EQ(findings.plateaus.size(), 1u);
    EXPECT_DOUBLE_EQ(findings.lowest5sMBps, 140.0);
}

TEST(SustainedAnalysis, ADropHasHeldOnceTheSpeedAfterItLastedLongEnough) {
    const std::vector<TracePoint> trace = Scripted({{20, 400}, {30, 100}}, false);
    const TraceFindings findings = AnalyseTrace(trace);
    EXPECT_TRUE(DropHasHeld(findings, trace, 30.0));
    EXPECT_FALSE(DropHasHeld(findings, trace, 30.5));
    const std::vector<TracePoint> flat = Scripted({{60, 400}}, false);
    EXPECT_FALSE(DropHasHeld(AnalyseTrace(flat), flat, 1.0));
}

}  // namespace
