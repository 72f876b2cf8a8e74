// The chart of a sustained write: MB/s over GiB written, as inline SVG.
#pragma once

#include "engine/sustained_analysis.h"

#include <string>
#include <vector>

// The drawing's own units; it scales to the page's width.
constexpr int ChartWidth = 600;
constexpr int ChartHeight = 320;

// Colours the chart's test finds its parts by.
constexpr const wchar_t* ChartTraceColour = L"#1f5fbf";
constexpr const wchar_t* ChartPlotColour = L"#f3f6fa";
constexpr const wchar_t* ChartPlateauColour = L"#d9730d";

// The lines of one <svg> element, with no script and nothing it would fetch.
std::vector<std::wstring> SustainedChartSvg(const std::vector<TracePoint>& trace, const TraceFindings& findings);
