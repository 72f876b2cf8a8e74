// A whole benchmark run on the worker thread.
#pragma once

#include "engine/run_objects.h"
#include "engine/run_record.h"

#include <cstdint>
#include <string>

constexpr const wchar_t* RecoveryMarkerName = L"result_something_happened.txt";

// The failures of a run that cannot start: another process's run holds the
// marker here, or the current directory could not be read.
constexpr const wchar_t* AnotherRunText = L"Another benchmark is running in this folder";
constexpr const wchar_t* UnreadableFolderText = L"Unable to read the current directory";

// Pauses ms in 50 ms slices; false as soon as a stop is seen.
bool WaitUnlessStopped(int64_t ms);

bool RunBenchmark(const std::wstring& folder, int64_t passCount, int64_t testSizeMiB,
                  RunResult& result, double& liveReadMBps, double& liveWriteMBps,
                  int64_t& livePhase, int64_t& livePass, const RunEventSink& sink,
                  const Profile& profile = WindowProfile);

// A run other than the benchmark's passes, in the same frame: the marker,
// the temporary folder, the pattern and the common ending are the same; the
// report and what happens to the test file are its own.
struct RunKind {
    // Right after the marker is claimed; sink.showReportError if it fails.
    void (*openReport)(const std::wstring& folder, const RunEventSink& sink);
    // Measures on the run's new, empty test file; a failure or a stop goes
    // into result.
    void (*runSteps)(const RunObjects& objects, const void* pattern, RunResult& result);
    // After the test file and the folder are gone: the report's end.
    void (*endReport)(const RunResult& result);
};

bool RunOtherKind(const std::wstring& folder, const RunKind& kind, RunResult& result,
                  const RunEventSink& sink);

// The worker's entry: runs CurrentRun's settings, then posts RunFinishedEvent once.
void BenchmarkThread(const RunEventSink& sink);

// Start-up: removes what a crashed run left, as named by the recovery marker;
// a marker that a live run holds open is left alone with all it names.
void RecoverCrashedRun();
