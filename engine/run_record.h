// The record the front-end and the benchmark worker share, and the events the
// worker reports through.
#pragma once

#include "engine/latency_histogram.h"
#include "engine/profiles.h"

#include <atomic>
#include <cstdint>
#include <string>

// The best pass of a phase beyond its speed, for the reports of the
// profiles other than the window's.
struct BestPass {
    double iops = 0.0;
    double p50 = 0.0;  // microseconds
    double p99 = 0.0;
};

struct RunResult {
    double bestReadMBps = 0.0;
    double bestWriteMBps = 0.0;
    BestPass bestRead;
    BestPass bestWrite;
    std::wstring errorText;
    int64_t stopped = 0;
    // Writes the system really keeps in flight at once (0: the run ended
    // before its passes), and why, when that is fewer than the shape asks for.
    int64_t writeDepth = 0;
    std::wstring writeDepthNote;
};

struct RunRecord {
    std::wstring folder;       // the benchmark folder, with its trailing separator
    int64_t passCount = 4;     // counted passes per phase, 1 to 7
    int64_t testSizeMiB = 2048;
    const Profile* profile = &WindowProfile;
    double liveReadMBps = 0.0;   // best read pass so far
    double liveWriteMBps = 0.0;  // the last write pass
    int64_t livePhase = 0;       // 0 none, 1 read, 2 write
    int64_t livePass = 0;
    RunResult result;
};

// Raised by the front-end's thread, read by the worker at fixed points; a
// relaxed atomic is enough since nothing else is published through it.
extern std::atomic<int64_t> StopRequested;
bool IsStopRequested();

// The one run of the process: the front-end fills the settings, the worker
// the live fields and the result.
extern RunRecord CurrentRun;

constexpr int64_t PassDoneEvent = 0x10001;
constexpr int64_t RunFinishedEvent = 0x10002;
constexpr int64_t CountdownEvent = 0x10003;

// A counted pass that gave a figure, with what it moved and how long its
// requests took.
struct PassFigures {
    int isWrite = 0;
    int64_t pass = 0;
    double mbps = 0.0;
    double ms = 0.0;
    int64_t bytes = 0;
    int64_t requests = 0;
    uint64_t seed = 0;  // of a random pass's offsets
    LatencySummary latency;
};

inline double RequestsPerSecond(int64_t requests, double ms) {
    return ms > 0.0 ? static_cast<double>(requests) * 1000.0 / ms : 0.0;
}

// How the worker reaches its front-end: the window posts a message, the
// console queues for its main thread. Neither call may wait for the
// front-end's thread, except showReportError, which shows a modal box on the
// worker's own thread.
struct RunEventSink {
    void (*post)(int64_t event, int64_t data);
    void (*showReportError)(const std::wstring& message);
    // Optional, on the worker's thread and never inside a pass's timed
    // window: right before each pass (number 0 is the warm-up), and right
    // after each counted pass that gave a figure, before its report row.
    void (*passStarting)(int isWrite, int64_t pass) = nullptr;
    void (*passMeasured)(const PassFigures& figures) = nullptr;
};
