// Everything the console gathers about one run, for its last lines and its
// JSON document.
#pragma once

#include "cli/cli_storage.h"
#include "engine/profiles.h"
#include "engine/run_record.h"

#include <cstdint>
#include <string>
#include <vector>

struct RunSummary {
    std::wstring folder;  // with its trailing separator
    int64_t passCount = 0;
    int64_t testSizeMiB = 0;
    const Profile* profile = &WindowProfile;
    StorageInfo storage;
    std::vector<PassRecord> read;
    std::vector<PassRecord> write;
    RunResult result;
    std::wstring reportPath;  // empty when the run left no report
    std::vector<std::wstring> warnings;
};
