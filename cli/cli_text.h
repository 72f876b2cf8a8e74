// What the console says to people: a line for each event of a run, the
// outcome, and the progress line a terminal shows in place.
#pragma once

#include "cli/cli_storage.h"
#include "engine/run_record.h"

#include <cstdint>
#include <string>

struct ConsoleLine {
    std::wstring text;
    bool toStandardError = false;
};

// "Read 2/4  1234.57 MB/s  device 99.9%": one counted pass and its proof.
std::wstring PassLine(int isWrite, const PassRecord& record, int64_t passCount);
// The best speeds follow a completed benchmark, not a sustained write.
ConsoleLine OutcomeLine(const RunResult& result, bool withSpeeds = true);

// Exit codes: 0 completed, 1 error, 130 stopped (2 is bad options).
int OutcomeExitCode(const RunResult& result);

// Where a run stands, for the one line a terminal keeps updating.
struct Progress {
    std::wstring step;          // "Read, pass 2 of 4", "Countdown", ...
    double secondsLeft = -1.0;  // in the current pass or pause; below 0 when unknown
    bool haveLastPass = false;
    double lastPassMBps = 0.0;
};

std::wstring ProgressText(const Progress& progress);
std::wstring PassStepText(int isWrite, int64_t pass, int64_t passCount);
