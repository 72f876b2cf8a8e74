// Where and when a run happened, for its JSON document: what lets runs of
// many machines be told apart when they are compared.
#pragma once

#include <chrono>
#include <string>

struct RunOrigin {
    std::wstring host;       // the machine's name
    std::wstring label;      // --label, or the host's name
    std::wstring startedAt;  // "2026-12-10T16:00:12Z"
    std::wstring system;     // "Linux 6.1.0-18-amd64", "Windows 10.0.22631"
};

// The origin of a run starting now.
RunOrigin OriginNow(const std::wstring& label);
// ISO 8601 in UTC, to the second.
std::wstring IsoUtcText(std::chrono::system_clock::time_point time);
