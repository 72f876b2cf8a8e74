// From the worker to the console's main thread: the worker posts and goes on,
// the main thread takes the events and does all the printing, so an output
// that stalls never stalls a run.
#pragma once

#include "cli/cli_storage.h"
#include "engine/sustained_analysis.h"

#include <cstdint>
#include <string>

// The console's own events beside the worker's three.
constexpr int64_t PassStartingEvent = 0x20001;  // data: the pass number, 0 for the warm-up
constexpr int64_t PassMeasuredEvent = 0x20002;  // record: the pass and its device figures
constexpr int64_t ReportErrorEvent = 0x20003;   // text: why the report could not be created
constexpr int64_t SustainedSampleEvent = 0x20004;  // point: the sustained write's latest sample

struct ConsoleEvent {
    int64_t event = 0;
    int64_t data = 0;
    int isWrite = 0;
    PassRecord record{};
    std::wstring text{};
    TracePoint point{};
};

// Never waits for the main thread: the lock is only ever held to move an
// event in or out.
void PostConsoleEvent(ConsoleEvent event);

// What a worker's sink posts: one of its events, and why the report could
// not be created.
void PostWorkerEvent(int64_t event, int64_t data);
void PostReportError(const std::wstring& message);

// The next event, waiting at most timeoutMs; false when none came.
bool TakeConsoleEvent(ConsoleEvent& event, int64_t timeoutMs);
