// The workloads a run can measure, named as its report names them: SEQ or
// RND, the request size, the requests in flight per thread and the threads
// ("RND4K Q32T16").
#pragma once

#include "engine/pass_shape.h"

#include <string>

constexpr size_t ProfileNameChars = 24;  // "SEQ64M Q256T64" and its end
constexpr int MostThreads = 64;

struct Profile {
    wchar_t name[ProfileNameChars];     // "SEQ1M Q8T1": the report's BENCHMARK TYPE
    wchar_t fileTag[ProfileNameChars];  // "SEQ1MQ8T1": in the report's file name
    char option[ProfileNameChars];      // "SEQ1M-Q8T1": as the console takes it
    PassShape shape;
    int threads = 1;
    bool seeded = false;  // shape.seed is the first pass's, given by the user
};

// The console's `all`: the four one-thread profiles, the window's first.
inline constexpr Profile Profiles[] = {
    {L"SEQ1M Q8T1", L"SEQ1MQ8T1", "SEQ1M-Q8T1", {BlockBytes, 8, false, 0}},
    {L"SEQ1M Q1T1", L"SEQ1MQ1T1", "SEQ1M-Q1T1", {BlockBytes, 1, false, 0}},
    {L"RND4K Q32T1", L"RND4KQ32T1", "RND4K-Q32T1", {4096, 32, true, 0}},
    {L"RND4K Q1T1", L"RND4KQ1T1", "RND4K-Q1T1", {4096, 1, true, 0}},
};

// The console's `nvme`: what published comparisons of current NVMe drives run.
inline constexpr Profile NvmeProfiles[] = {
    Profiles[0],
    {L"SEQ128K Q32T1", L"SEQ128KQ32T1", "SEQ128K-Q32T1", {131072, 32, false, 0}},
    {L"RND4K Q32T16", L"RND4KQ32T16", "RND4K-Q32T16", {4096, 32, true, 0}, 16},
    Profiles[3],
};

// The window's, and the console's unless told otherwise.
inline constexpr const Profile& WindowProfile = Profiles[0];

// The profile a name gives: "RND4K-Q32T16", in any case, with the hyphen, a
// space or nothing between size and depth. False for a name that breaks
// the grammar or a limit.
bool ProfileFromName(const std::string& name, Profile& profile);

// What ProfileFromName takes, for the texts that explain it.
constexpr const char* ProfileGrammarText =
    "SEQ or RND, a request size (512 or 4K to 64M, a power of two), -Q and the requests in "
    "flight per thread (1 to 256), T and the threads (1 to 64), as in RND4K-Q32T16";

// Inline, as the report asks it too and builds without the engine.
inline bool IsWindowProfile(const Profile& profile) {
    return IsWindowShape(profile.shape) && profile.threads == 1;
}

// The report's RESULT rows: "SEQ READ" and "SEQ WRITE", or "RND ..." for a
// random profile.
inline const wchar_t* ReadResultName(const Profile& profile) {
    return profile.shape.random ? L"RND READ" : L"SEQ READ";
}

inline const wchar_t* WriteResultName(const Profile& profile) {
    return profile.shape.random ? L"RND WRITE" : L"SEQ WRITE";
}
