// Arbitrary traces through the plateau analysis: it never crashes, its
// plateaus cover the trace in order without gaps, and its texts are made.
#include "engine/sustained_analysis.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
}

// Each sample takes 16 bytes: its speed as raw double bits, so any NaN or
// infinity comes through, and its byte count. A few leading bytes of 0..255
// turn into plain speeds, so the fuzzer also reaches well-formed steps.
std::vector<TracePoint> TraceFrom(const uint8_t* data, size_t size) {
    std::vector<TracePoint> trace;
    const bool raw = size > 0 && data[0] % 2 == 1;
    const size_t stride = raw ? 16 : 1;
    for (size_t at = 1; at + stride <= size; at += stride) {
        TracePoint point;
        point.seconds = static_cast<double>(trace.size() + 1) * TraceIntervalSeconds;
        if (raw) {
            std::memcpy(&point.mbps, data + at, sizeof point.mbps);
            std::memcpy(&point.bytes, data + at + 8, sizeof point.bytes);
        } else {
            point.mbps = data[at] * 4.0;
            point.bytes = (trace.empty() ? 0 : trace.back().bytes) + data[at] * 2'000'000;
        }
        trace.push_back(point);
    }
    return trace;
}

void CheckCover(const std::vector<TracePoint>& trace, const TraceFindings& findings) {
    size_t next = 0;
    for (const Plateau& plateau : findings.plateaus) {
        Require(plateau.first == next, "a gap or an overlap between plateaus");
        Require(plateau.last >= plateau.first, "an empty plateau");
        Require(plateau.fromBytes == (next == 0 ? 0 : trace[next - 1].bytes), "a plateau starts elsewhere");
        Require(plateau.toBytes == trace[plateau.last].bytes, "a plateau ends elsewhere");
        next = plateau.last + 1;
    }
    Require(next == trace.size(), "the plateaus stop short of the trace's end");
    Require(findings.lowest5sMBps >= 0.0, "a negative lowest speed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<TracePoint> trace = TraceFrom(data, size);
    const TraceFindings findings = AnalyseTrace(trace);
    CheckCover(trace, findings);
    const int64_t written = trace.empty() ? 0 : trace.back().bytes;
    Require(!ConclusionText(findings, written).empty(), "no conclusion");
    DropHasHeld(findings, trace, 30.0);
    return 0;
}
