// A whole benchmark run on the worker thread.
#pragma once

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

// The worker's entry: runs CurrentRun's settings, then posts RunFinishedEvent once.
void BenchmarkThread(const RunEventSink& sink);

// Start-up: removes what a crashed run left, as named by the recovery marker;
// a marker that a live run holds open is left alone with all it names.
void RecoverCrashedRun();
