// One timed sequential pass over the test file: 1 MiB requests, eight in
// flight through a completion port, a five-second window.
#pragma once

#include <cstdint>
#include <string>

struct ObjectIdentity;

constexpr int64_t BlockBytes = 1'048'576;

// message + " (Windows Error " + the last-error code of the call that has just failed + ")".
std::wstring WithWindowsError(const std::wstring& message);

// The bytes a pass moved, recovered from its speed and length. Exact, since
// a pass that gives a figure moved whole 1 MiB requests only.
int64_t MovedBytes(double mbps, double elapsedMs);

// MB/s (1 MB = 1,000,000 bytes); 0.0 on failure (errorText set) or on a stop.
// elapsedMs, when given, receives the pass length on success only. With
// `expected`, the file opened must be that very object, not a link or
// another file swapped in under its name.
double RunTransferPass(const std::wstring& testFilePath, int64_t blockCount, int isWrite,
                       const void* pattern, std::wstring& errorText, double* elapsedMs,
                       const ObjectIdentity* expected = nullptr);
