// Everything the console gathers about one run, for its last lines and its
// JSON document.
#pragma once

#include "cli/cli_storage.h"
#include "cli/run_origin.h"
#include "engine/profiles.h"
#include "engine/run_record.h"
#include "engine/sustained_write.h"

#include <cstdint>
#include <string>
#include <vector>

struct RunSummary {
    std::wstring folder;  // with its trailing separator
    RunOrigin origin;
    int64_t passCount = 0;
    int64_t testSizeMiB = 0;
    const Profile* profile = &WindowProfile;
    StorageInfo storage;
    std::vector<PassRecord> read;
    std::vector<PassRecord> write;
    RunResult result;
    std::wstring reportPath;  // empty when the run left no report
    std::vector<std::wstring> warnings;
    bool sustained = false;  // a sustained write instead of the passes
    SustainedTrace trace;    // its limit, trace and findings
    SustainedEnding ending = SustainedEnding::Written;
};

// Keeps the warning for the document and prints it at once.
void Warn(RunSummary& summary, const std::wstring& warning);
