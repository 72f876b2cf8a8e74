// What the console says to people: a line for each event of a run, the
// outcome, and the progress line a terminal shows in place.
#pragma once

#include "cli/cli_storage.h"
#include "cli/run_summary.h"
#include "engine/run_record.h"

#include <cstdint>
#include <string>
#include <vector>

struct ConsoleLine {
    std::wstring text;
    bool toStandardError = false;
};

// "Read 2/4  1234.57 MB/s  p50 105.20 us  p99 230.10 us  device 99.9%": one
// counted pass, its latencies and its proof; requests under 1 MiB add IOPS
// after the speed.
std::wstring PassLine(int isWrite, const PassRecord& record, int64_t passCount,
                      const Profile& profile);
// Requests per second of a pass.
double PassIops(const PassRecord& record);
// The last lines of a console run: per profile run, the best pass of each
// phase with its IOPS and p99 latency.
std::vector<std::wstring> ProfileTableLines(const std::vector<RunSummary>& runs);
// The best speeds follow a completed benchmark, not a sustained write.
ConsoleLine OutcomeLine(const RunResult& result, bool withSpeeds = true);

// Exit codes: 0 completed, 1 error, 128 plus the stop's cause (130 for
// Ctrl+C) when stopped; 2 is bad options.
int OutcomeExitCode(const RunResult& result, int64_t stopCause);

// Where a run stands, for the one line a terminal keeps updating.
struct Progress {
    std::wstring step;          // "Read, pass 2 of 4", "Countdown", ...
    double secondsLeft = -1.0;  // in the current pass or pause; below 0 when unknown
    bool haveLastPass = false;
    double lastPassMBps = 0.0;
};

std::wstring ProgressText(const Progress& progress);
std::wstring PassStepText(int isWrite, int64_t pass, int64_t passCount);
