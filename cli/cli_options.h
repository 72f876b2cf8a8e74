// The console front-end's command line.
#pragma once

#include "engine/profiles.h"
#include "engine/sustained_write.h"

#include <cstdint>
#include <string>
#include <vector>

struct CliOptions {
    int64_t passCount = 4;
    int64_t testSizeMiB = 2048;
    bool help = false;
    bool version = false;
    bool json = false;
    bool sustained = false;       // a sustained write instead of the passes
    SustainedSize sustainedSize;  // neither part set: the default
    std::wstring folder;  // empty: the current directory
    std::wstring label;   // names the run in comparisons; empty: the host's name
    // In the order they run, seeded when told.
    std::vector<Profile> profiles = std::vector<Profile>(1, WindowProfile);
};

// False with errorText set when an argument is unknown or out of range.
bool ParseCliOptions(const std::vector<std::wstring>& arguments, CliOptions& options,
                     std::wstring& errorText);
std::wstring CliUsageText();
// "corvasta-cli " + version, then the I/O backend a run would use.
std::wstring CliVersionText();
