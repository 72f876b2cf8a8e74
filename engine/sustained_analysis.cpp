#include "engine/sustained_analysis.h"

#include "platform/text.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t WindowSamples = 10;  // 5 s
constexpr size_t HoldSamples = 20;    // 10 s
constexpr double Band = 0.30;

std::vector<double> Speeds(const std::vector<TracePoint>& trace) {
    std::vector<double> speeds;
    speeds.reserve(trace.size());
    for (const TracePoint& point : trace) speeds.push_back(SampleSpeed(point));
    return speeds;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2.0;
}

double MedianOf(const std::vector<double>& speeds, size_t first, size_t end) {
    return Median(std::vector<double>(speeds.begin() + static_cast<ptrdiff_t>(first),
                                      speeds.begin() + static_cast<ptrdiff_t>(end)));
}

// The 5 s median that starts at each sample, where 5 s of trace are left.
std::vector<double> ForwardMedians(const std::vector<double>& speeds) {
    std::vector<double> medians;
    for (size_t i = 0; i + WindowSamples <= speeds.size(); ++i)
        medians.push_back(MedianOf(speeds, i, i + WindowSamples));
    return medians;
}

// +1 above the band around level, -1 below it, 0 inside.
int Moved(double speed, double level) {
    if (speed > level * (1.0 + Band) && speed > level) return 1;
    if (speed < level * (1.0 - Band)) return -1;
    return 0;
}

struct Series {
    std::vector<double> speeds;
    std::vector<double> medians;  // ForwardMedians(speeds)
};

// The level a plateau starting at first keeps to.
double LevelAt(const Series& series, size_t first) {
    if (first < series.medians.size()) return series.medians[first];
    return MedianOf(series.speeds, first, series.speeds.size());
}

bool HeldFrom(const Series& series, size_t i, double level, int direction) {
    for (size_t j = i; j + WindowSamples <= i + HoldSamples; ++j) {
        if (Moved(series.medians[j], level) != direction) return false;
    }
    return true;
}

// The first sample of the next plateau, or the trace's size when there is none.
size_t NextChange(const Series& series, size_t first) {
    const double level = LevelAt(series, first);
    const size_t count = series.speeds.size();
    for (size_t k = first + 1; k + HoldSamples <= count; ++k) {
        const int direction = Moved(series.speeds[k], level);
        if (direction != 0 && HeldFrom(series, k, level, direction)) return k;
    }
    return count;
}

Plateau MakePlateau(const std::vector<TracePoint>& trace, const Series& series, size_t first,
                    size_t end) {
    Plateau plateau;
    plateau.first = first;
    plateau.last = end - 1;
    plateau.fromBytes = first == 0 ? 0 : trace[first - 1].bytes;
    plateau.toBytes = trace[end - 1].bytes;
    plateau.medianMBps = MedianOf(series.speeds, first, end);
    return plateau;
}

double Lowest5s(const std::vector<double>& speeds) {
    if (speeds.empty()) return 0.0;
    const size_t window = std::min(WindowSamples, speeds.size());
    double sum = 0.0;
    for (size_t i = 0; i < window; ++i) sum += speeds[i];
    double lowest = sum;
    for (size_t i = window; i < speeds.size(); ++i) {
        sum += speeds[i] - speeds[i - window];
        lowest = std::min(lowest, sum);
    }
    return std::max(0.0, lowest / static_cast<double>(window));
}

void FindDrop(TraceFindings& findings) {
    const std::vector<Plateau>& plateaus = findings.plateaus;
    for (size_t p = 0; p + 1 < plateaus.size(); ++p) {
        if (plateaus[p + 1].medianMBps >= plateaus[p].medianMBps) continue;
        findings.dropFound = true;
        findings.cacheBytes = plateaus[p].toBytes;
        findings.cacheMBps = plateaus[p].medianMBps;
        findings.afterMBps = plateaus[p + 1].medianMBps;
        return;
    }
}

}  // namespace

double SampleSpeed(const TracePoint& point) {
    return std::isfinite(point.mbps) && point.mbps > 0.0 ? point.mbps : 0.0;
}

TraceFindings AnalyseTrace(const std::vector<TracePoint>& trace) {
    Series series;
    series.speeds = Speeds(trace);
    series.medians = ForwardMedians(series.speeds);
    TraceFindings findings;
    for (size_t first = 0; first < trace.size();) {
        const size_t end = NextChange(series, first);
        findings.plateaus.push_back(MakePlateau(trace, series, first, end));
        first = end;
    }
    FindDrop(findings);
    findings.medianMBps = Median(series.speeds);
    findings.lowest5sMBps = Lowest5s(series.speeds);
    return findings;
}

std::wstring ConclusionText(const TraceFindings& findings, int64_t writtenBytes) {
    if (!findings.dropFound) {
        return L"no drop within " + GiBText(writtenBytes) + L" GiB: " +
               FormatTwoDecimals(findings.medianMBps) + L" MB/s throughout";
    }
    return L"write cache: about " + GiBText(findings.cacheBytes) + L" GiB at " +
           FormatTwoDecimals(findings.cacheMBps) + L" MB/s, then " +
           FormatTwoDecimals(findings.afterMBps) + L" MB/s";
}

bool DropHasHeld(const TraceFindings& findings, const std::vector<TracePoint>& trace,
                 double seconds) {
    if (!findings.dropFound || findings.plateaus.empty()) return false;
    const size_t first = findings.plateaus.back().first;
    const double start = first == 0 ? 0.0 : trace[first - 1].seconds;
    return trace.back().seconds - start >= seconds;
}
