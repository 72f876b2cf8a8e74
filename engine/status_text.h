// The status texts both front-ends show for a run's events, kept in one place
// so the window and the console say the same words.
#pragma once

#include <cstdint>
#include <string>

constexpr const wchar_t* InProgressStatusText = L"Folder Sequential Benchmark in progress...";
constexpr const wchar_t* StoppingStatusText = L"Stopping benchmark...";
constexpr const wchar_t* StoppedStatusText = L"Stopping benchmark...Benchmark stopped by user.";
constexpr const wchar_t* CompletedStatusText =
    L"Benchmark completed - HTML log saved in the benchmark folder.";

// "Read 2/4" for phase 1, "Write 2/4" for phase 2, empty for any other phase.
std::wstring PassStatusText(int64_t phase, int64_t pass, int64_t passCount);
// d seconds left before the write phase; 0 when it starts.
std::wstring CountdownStatusText(int64_t secondsLeft);
std::wstring ErrorStatusText(const std::wstring& errorText);
