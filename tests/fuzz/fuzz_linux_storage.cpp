// What the console reads from the system on Linux, as arbitrary bytes: the
// mount table, and a block device's sysfs stat, size and loop files, read
// through a small sysfs tree in the scratch folder.
#include "platform/linux/linux_drive.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The input's parts, split at each 0x01 byte: mountinfo, stat, size, dio.
std::vector<std::string> Parts(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 1 && parts.size() < 4) {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    parts.resize(4);
    return parts;
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = Parts(data, size);
    MountedFileSystemType(parts[0], 7, 0);
    MountedFileSystemType(parts[0], 259, 1);
    DeviceCounters counters;
    ParseSysfsStat(parts[1], counters);
    SysfsSizeBytes(parts[2]);

    const fs::path device = fs::path("sys") / "dev" / "block" / "7:0";
    static const bool made = fs::create_directories(device / "loop");
    (void)made;
    Write(device / "stat", parts[1]);
    Write(device / "size", parts[2]);
    Write(device / "loop" / "dio", parts[3]);
    ReadSysfsCounters("sys", 7, 0, counters);
    LoopDeviceCached("sys", 7, 0);
    SysfsDisk disk;
    FindSysfsDisk("sys", 7, 0, disk);
    return 0;
}
