// The console's proof for its figures: the block device under the benchmark
// folder, its byte counters around each counted pass, and what they say.
#pragma once

#include "drive/device_counters.h"
#include "engine/latency_histogram.h"

#include <cstdint>
#include <string>
#include <vector>

struct BlockNumber {
    unsigned major = 0;
    unsigned minor = 0;
};

struct StorageInfo {
    std::wstring fileSystem;     // "ext4", "tmpfs", "NTFS"; empty when unknown
    std::wstring device;         // "vda1", "loop3+loop4", "PhysicalDrive0"; empty when there is none
    std::vector<int64_t> diskNumbers;  // where a Windows folder is counted: every disk of its volume
    std::vector<BlockNumber> blockDevices;  // where a Linux folder is counted: every device of its file system
    std::wstring volumeError;    // why a volume with a drive designator gave no disk
    std::wstring countersError;  // why the device's counters prove nothing, though it is there
    std::vector<std::wstring> warnings;  // what lies beneath the device that its counters cannot see
    bool deviceHidden = false;   // there is a device, but this system cannot see it
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
// An overlay whose upper layer lies where this system cannot look.
std::wstring HiddenDeviceWarning(const std::wstring& fileSystem);
// device lies on layer (or is it), which is what: its counters cannot tell
// what the layer's cache answered from what the storage did.
std::wstring CacheLayerWarning(const std::wstring& device, const std::wstring& layer,
                               const std::wstring& what);
// device: the device, or the volume, whose counters could not be read.
std::wstring CountersUnavailableWarning(const std::wstring& device, const std::wstring& errorText);
// The warnings a run starts with when its device counters cannot confirm
// its figures: there are none, or a cache sits beneath them.
std::vector<std::wstring> StorageWarnings(const std::wstring& folder, const StorageInfo& storage);
