// The HTML report of a sustained write: the run's details, what the trace
// says, its plateaus and the chart. Opened with OpenReport like any report;
// the details are written at the start, the rest when the write has ended.
#pragma once

#include "engine/run_record.h"
#include "engine/sustained_analysis.h"

#include <cstdint>
#include <string>

constexpr const wchar_t* SustainedReportType = L"SUSTAINED";

// "3GiB": the most the write may take, as the report's file name carries it.
std::wstring SustainedSizeText(int64_t limitBytes);

void WriteSustainedHeader(const std::wstring& folder, int64_t limitBytes);
// Everything after the details, then the report is closed; a failure's text
// comes first, and what was measured up to it still follows.
void FinishSustainedReport(const SustainedTrace& sustained, const RunResult& result);
