// The console's sustained write: the most it will write, one progress line
// while it runs, and what its trace says at the end.
#pragma once

#include "cli/run_summary.h"
#include "cli/cli_options.h"

#include <string>
#include <vector>

// Chooses the most the write may take; false with the summary's error set
// when the folder has too little room, and then nothing is written.
bool ChooseSustainedLimit(RunSummary& summary, const CliOptions& options);

// Runs the write on a worker and follows it until it has ended.
void FollowSustainedWrite(RunSummary& summary);

// "Sustained write: at most 3.00 GiB", and the early end when there is one.
std::wstring SustainedLimitLine(int64_t limitBytes, bool stopOnceHeld);
// "Written 1.20 of 3.00 GiB, 400.00 MB/s, about 5 s left": the speed of the
// last 5 s, and the time left at it once 10 s have passed.
std::wstring SustainedProgressText(const std::vector<TracePoint>& trace, int64_t limitBytes);
// One line per plateau, the conclusion and the slowest 5 s.
std::vector<std::wstring> SustainedResultLines(const SustainedTrace& sustained);
