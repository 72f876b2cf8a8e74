// Reading and checking the recovery marker a crashed run left behind.
#pragma once

#include <string>

struct MarkerLines {
    std::wstring temporaryFolder;
    std::wstring reportPath;
};

// The first two lines of the bytes as UTF-8; a line ends at CR, LF or CR LF,
// a missing line reads as empty.
MarkerLines ParseMarker(const std::string& bytes);

// Whether two paths name the same file by this platform's rule: ordinal and
// case-insensitive on Windows, exact elsewhere.
bool SamePath(const std::wstring& a, const std::wstring& b);

// Only what a run of ours creates, directly inside currentDirectory, passes.
bool IsOurTemporaryFolder(const std::wstring& path, const std::wstring& currentDirectory);
bool IsOurReport(const std::wstring& path, const std::wstring& currentDirectory);
