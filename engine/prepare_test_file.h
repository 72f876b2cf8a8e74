// Creates the test file at its full length and fills it with the pattern.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

struct ObjectIdentity;

// The file is always created new: an existing file, link or hard link of
// that name fails the preparation rather than being written through.
// True when every block is written; false with errorText set on a failure,
// false with errorText untouched on a stop. `made`, when given, receives
// the new file's identity as soon as it exists, madeAttributes its attributes.
bool PrepareTestFile(const std::wstring& testFilePath, int64_t blockCount, const void* pattern,
                     std::wstring& errorText, ObjectIdentity* made = nullptr,
                     DWORD* madeAttributes = nullptr);
