// What the console prints for each event of a run and for its outcome.
#pragma once

#include "engine/run_record.h"

#include <cstdint>
#include <string>

struct ConsoleLine {
    std::wstring text;
    bool toStandardError = false;
};

// The line for one worker event, read from the run's shared record; empty
// text for an event that prints nothing (the outcome is printed apart).
ConsoleLine EventLine(int64_t event, int64_t data, const RunRecord& run);
ConsoleLine OutcomeLine(const RunResult& result);

// Exit codes: 0 completed, 1 error, 130 stopped (2 is bad options).
int OutcomeExitCode(const RunResult& result);
