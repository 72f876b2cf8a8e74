// The console's proof for its figures: the block device under the benchmark
// folder, its byte counters around each counted pass, and what they say.
#pragma once

#include "drive/device_counters.h"
#include "engine/latency_histogram.h"

#include <cstdint>
#include <string>
#include <vector>

struct StorageInfo {
    std::wstring fileSystem;     // "ext4", "tmpfs", "NTFS"; empty when unknown
    std::wstring device;         // "vda1", "PhysicalDrive0"; empty when there is none
    std::vector<int64_t> diskNumbers;  // where a Windows folder is counted: every disk of its volume
    unsigned major = 0;          // where a Linux folder is counted
    unsigned minor = 0;
    std::wstring volumeError;    // why a volume with a drive designator gave no disk
    bool cachedBelow = false;    // a page cache sits under the device, which its counters cannot see
};

// A counted pass with what the device counted of it.
struct PassRecord {
    int64_t pass = 0;
    double mbps = 0.0;
    double ms = 0.0;
    int64_t bytes = 0;             // what the pass moved
    int64_t requests = 0;          // that moved it
    uint64_t seed = 0;             // of a random pass's offsets
    LatencySummary latency;        // of its requests, in microseconds
    bool deviceCounted = false;    // false: the counters were not available
    int64_t deviceBytes = 0;
    double deviceShare = 0.0;      // deviceBytes / bytes
    std::wstring deviceError;      // why the counters were not available, if they were tried
};

StorageInfo ProbeStorage(const std::wstring& folder);

bool ReadStorageCounters(const StorageInfo& storage, DeviceCounters& counters,
                         std::wstring& errorText);

// Fills the device figures of a pass from the counters around it.
void ConfirmPass(PassRecord& record, int isWrite, const DeviceCounters& before,
                 const DeviceCounters& after);

// Shares below this mean a cache answered part of the pass.
constexpr double LowestDeviceShare = 0.9;

std::wstring CacheWarning(double deviceShare);
// The test file takes the folder's compression and encryption: the run
// turns compression off, and says so; writes to an encrypted file go through
// EFS, which is a warning. Empty texts when neither applies.
struct FolderNotes {
    std::wstring note;
    std::wstring warning;
};
FolderNotes FolderAttributeNotes(const std::wstring& folder);
std::wstring NoBlockDeviceWarning(const std::wstring& fileSystem);
std::wstring CachedLoopWarning(const std::wstring& device);
// device: the device, or the volume, whose counters could not be read.
std::wstring CountersUnavailableWarning(const std::wstring& device, const std::wstring& errorText);
// The one warning a run starts with when its device counters cannot confirm
// its figures: there are none, or a cache sits beneath them; empty otherwise.
std::wstring StorageWarning(const std::wstring& folder, const StorageInfo& storage);
