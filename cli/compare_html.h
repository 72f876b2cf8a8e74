// The comparison as an HTML page of its own: per profile the table and a
// chart in inline SVG (bars of read and write with their p99 latency, or the
// sustained writes drawn over each other). No script, nothing fetched;
// readable on a phone and on paper.
#pragma once

#include "cli/compare_table.h"

#include <string>

// Colours the page's test finds the bars by.
inline constexpr const char* ReadBarColour = "#1f5fbf";
inline constexpr const char* WriteBarColour = "#d9730d";
inline constexpr const char* LatencyBarColour = "#555555";

// UTF-8, lines ended by CR LF like every report.
std::string ComparisonHtml(const Comparison& comparison);
