// The sustained write: one unbounded sequential write of 1 MiB requests,
// eight in flight, over a new file in the run's temporary folder, sampled
// every half second until its size is written, a stop, or a failure.
#pragma once

#include "engine/pass_shape.h"
#include "engine/run_record.h"
#include "engine/sustained_analysis.h"

#include <cstdint>
#include <string>

// The size asked for: whole GiB, or a share of the free space; neither
// means three quarters of it, ending early once a drop has held for 30 s.
struct SustainedSize {
    int64_t gib = 0;
    int64_t percent = 0;
};

constexpr int64_t SmallestSustainedBytes = 256 * BlockBytes;
constexpr double DropHeldSeconds = 30.0;

// How the write ended; a stop and a failure also end the run.
enum class SustainedEnding { Written, DropHeld, Stopped, DiskFull, Failed };

// The one sustained write of the process: the front-end fills the settings
// before the worker starts and reads the rest after it ended.
struct SustainedRecord {
    std::wstring folder;  // with its trailing separator
    bool stopOnceHeld = false;
    SustainedTrace sustained;  // limitBytes set by the front-end
    SustainedEnding ending = SustainedEnding::Written;
    RunResult result;
};
extern SustainedRecord CurrentSustained;

// Optional, called on the worker's thread between requests.
struct SustainedHooks {
    // The device's count of bytes written so far; false when it cannot be read.
    bool (*readDeviceWritten)(int64_t& bytes) = nullptr;
    void (*sampleTaken)(const TracePoint& point) = nullptr;
};

// The largest file the file system takes ("FAT32", "vfat": under 4 GiB); 0 for no limit.
int64_t LargestFileBytes(const std::wstring& fileSystem);

// The most the write may take, in whole MiB: the size asked for, never so
// much that less than 2 GiB or 5% of the volume would stay free, nor more
// than the largest file. 0 with errorText set when that is too little.
int64_t SustainedLimitBytes(const SustainedSize& size, const std::wstring& folder,
                            const std::wstring& fileSystem, std::wstring& errorText);
int64_t LimitFromSpace(const SustainedSize& size, uint64_t freeBytes, uint64_t totalBytes,
                       int64_t largestFileBytes);

std::wstring DiskFullText(int64_t writtenBytes);

// The worker's entry: runs CurrentSustained, then posts RunFinishedEvent once.
void SustainedThread(const RunEventSink& sink, const SustainedHooks& hooks);
