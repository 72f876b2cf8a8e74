// `corvasta-cli compare`: reads the inputs, prints the comparison, writes
// the page. Exit codes: 0 all compared, 1 some inputs bad and the rest
// compared, 2 nothing compared (bad options or inputs, the page refused).
#pragma once

#include "cli/compare_options.h"
#include "cli/compare_runs.h"

#include <string>

int RunCompare(const CompareOptions& options);

// One input: a file's or stream's text, classified by what it holds.
InputRuns RunsFromText(const std::string& text);
