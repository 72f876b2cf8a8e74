// The names one run derives from the benchmark folder and its tag.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

// The test sizes a run may use, in MiB.
constexpr int64_t TestSizesMiB[] = {256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};

constexpr const wchar_t* TemporaryPrefix = L"corvastatmp";

// The low 32 bits of a tick count as eight upper-case hexadecimal digits.
std::wstring RunTag(DWORD tickCount);
std::wstring TemporaryFolderPath(const std::wstring& folder, const std::wstring& tag);
std::wstring TestFilePath(const std::wstring& temporaryFolder, const std::wstring& tag);
// "256MiB" for 256: the size as the report's file name carries it.
std::wstring SizeText(int64_t testSizeMiB);

// The process's current directory as the seam reports it, without any
// trailing separator added; empty when it cannot be read.
std::wstring CurrentDirectory();
// The benchmark folder: the current directory with its trailing separator;
// empty when the current directory cannot be read.
std::wstring BenchmarkFolder();
