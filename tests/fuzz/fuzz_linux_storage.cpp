// What the console reads from the system on Linux, as arbitrary bytes: the
// mount table (alone, and after btrfs, subvolume and overlay lines), and a
// block device's sysfs stat, size and loop files, read through a small sysfs
// tree in the scratch folder.
#include "platform/linux/linux_drive.h"
#include "platform/linux/linux_storage.h"

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

// Lines of the kinds whose fields the fuzzed bytes run into.
const char* const KnownMounts =
    "40 1 0:60 / /mnt rw,relatime shared:7 - btrfs /dev/corvasta-none/loop0 rw,space_cache=v2,subvolid=5,subvol=/\n"
    "41 40 0:61 /@home /home rw - btrfs /dev/corvasta-none/loop0 rw,subvolid=256,subvol=/@home\n"
    "42 1 0:62 / /c rw - overlay overlay rw,lowerdir=/l,upperdir=/u\\054p,workdir=/w\n";

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> parts = Parts(data, size);
    MountEntry entry;
    const std::string behindKnown = KnownMounts + parts[0];
    for (const std::string* mountInfo : {&parts[0], &behindKnown}) {
        FindMount(*mountInfo, FileMount{true, 41, 0, 61}, entry);
        FindMount(*mountInfo, FileMount{false, 0, 7, 0}, entry);
        OverlayUpperDir(entry.superOptions);
    }
    DeviceCounters counters;
    ParseSysfsStat(parts[1], counters);
    SysfsSizeBytes(parts[2]);

    const fs::path device = fs::path("sys") / "dev" / "block" / "7:0";
    // The one member of a btrfs, whose device is the tree's 7:0.
    static const bool made = fs::create_directories(device / "loop") &&
                             fs::create_directories("sys/fs/btrfs/f/devices");
    if (made && !fs::exists("sys/fs/btrfs/f/devices/loop0")) {
        fs::create_directory_symlink("../../../../dev/block/7:0", "sys/fs/btrfs/f/devices/loop0");
        Write(device / "dev", "7:0\n");
    }
    Write(device / "stat", parts[1]);
    Write(device / "size", parts[2]);
    Write(device / "loop" / "dio", parts[3]);
    ReadSysfsCounters("sys", 7, 0, counters);
    // The whole way from a btrfs subvolume's mount to its device and beneath.
    LinuxStorage storage;
    StorageOfMount("sys", behindKnown, FileMount{true, 41, 0, 61}, storage);
    SysfsDisk disk;
    FindSysfsDisk({"sys", "udev"}, 7, 0, disk);
    AtaIdentifyModel(parts[3]);
    UdevModel(parts[3]);
    return 0;
}
