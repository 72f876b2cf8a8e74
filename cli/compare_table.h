// The comparison itself: runs grouped by profile, each figure against the
// baseline run's, as a table for people and as CSV for spreadsheets.
#pragma once

#include "cli/compare_runs.h"

#include <optional>
#include <string>
#include <vector>

struct Comparison {
    std::vector<ComparedRun> runs;
    size_t baseline = 0;                // index into runs
    std::vector<std::string> profiles;  // in the order they first appear
};

// The runs in the order given; baseline counts from 0.
Comparison CompareRuns(std::vector<ComparedRun> runs, size_t baseline);

// The run's figures of a profile; null when the run has none.
const ProfileFigures* FiguresOf(const ComparedRun& run, const std::string& profile);

// One figure of a profile's table: how it is headed and how it is found.
struct Figure {
    const char* heading;  // in the table
    const char* key;      // in CSV and JSON
    int decimals;
    std::optional<double> (*value)(const ProfileFigures& figures);
    bool compared = false;  // followed by its change against the baseline
    // A figure that is a list (the plateaus) gives text instead of a value.
    std::string (*text)(const ProfileFigures& figures, int decimals) = nullptr;
};
// The figures of a profile's rows: best speeds with their IOPS and latency
// for passes, cache and plateaus for a sustained write.
const std::vector<Figure>& FiguresFor(const std::string& profile);

// The change of the compared figure against the baseline's, in percent;
// none when either run lacks it.
std::optional<double> ChangePercent(const Comparison& comparison, const std::string& profile,
                                    const ComparedRun& run, const Figure& figure);

// "+3.2%", "-50.0%".
std::string PercentText(double percent);
std::string FixedText(double value, int decimals);

// A profile's table as texts: the headings, then one row per run ("—"
// where the run lacks a figure or the whole profile).
std::vector<std::vector<std::string>> ComparisonRows(const Comparison& comparison, const std::string& profile);
std::vector<std::string> ComparisonTableLines(const Comparison& comparison);
std::string ComparisonCsv(const Comparison& comparison);
