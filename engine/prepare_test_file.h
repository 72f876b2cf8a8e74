// Creates the test file at its full length and fills it with the pattern.
#pragma once

#include <cstdint>
#include <string>

// True when every block is written; false with errorText set on a failure,
// false with errorText untouched on a stop.
bool PrepareTestFile(const std::wstring& testFilePath, int64_t blockCount, const void* pattern,
                     std::wstring& errorText);
