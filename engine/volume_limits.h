// What the folder's file system cannot hold, found before a run creates
// anything.
#pragma once

#include <cstdint>
#include <string>

// Empty when a test file of testSizeMiB fits the file system of folder;
// else the text that ends the run. FAT keeps each file under 4 GiB.
std::wstring TestSizeRefusal(const std::wstring& folder, int64_t testSizeMiB);
