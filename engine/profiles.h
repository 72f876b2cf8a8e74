// The workloads a run can measure, named as its report names them.
#pragma once

#include "engine/pass_shape.h"

struct Profile {
    const wchar_t* name;     // "SEQ1M Q8T1": the report's BENCHMARK TYPE
    const wchar_t* fileTag;  // "SEQ1MQ8T1": in the report's file name
    const char* option;      // "SEQ1M-Q8T1": as the console takes it
    PassShape shape;
};

inline constexpr Profile Profiles[] = {
    {L"SEQ1M Q8T1", L"SEQ1MQ8T1", "SEQ1M-Q8T1", {BlockBytes, 8, false, 0}},
    {L"SEQ1M Q1T1", L"SEQ1MQ1T1", "SEQ1M-Q1T1", {BlockBytes, 1, false, 0}},
    {L"RND4K Q32T1", L"RND4KQ32T1", "RND4K-Q32T1", {4096, 32, true, 0}},
    {L"RND4K Q1T1", L"RND4KQ1T1", "RND4K-Q1T1", {4096, 1, true, 0}},
};

// The window's, and the console's unless told otherwise.
inline constexpr const Profile& WindowProfile = Profiles[0];

// The report's RESULT rows: "SEQ READ" and "SEQ WRITE", or "RND ..." for a
// random profile.
inline const wchar_t* ReadResultName(const Profile& profile) {
    return profile.shape.random ? L"RND READ" : L"SEQ READ";
}

inline const wchar_t* WriteResultName(const Profile& profile) {
    return profile.shape.random ? L"RND WRITE" : L"SEQ WRITE";
}
