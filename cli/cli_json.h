// The console's JSON document (docs/json.md): later versions only add fields.
#pragma once

#include "cli/run_summary.h"

#include <string>
#include <vector>

// UTF-8, one document, ended by a line end.
std::string JsonDocument(const RunSummary& summary);
// Several profiles run in turn: one document whose "runs" holds each run's.
std::string RunsDocument(const std::vector<RunSummary>& runs);
