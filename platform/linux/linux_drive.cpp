#include "platform/linux/linux_drive.h"

#include "drive/disk_query.h"
#include "platform/text.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Device stacks deeper than this are not a single disk worth naming.
constexpr int MaxStackDepth = 8;
constexpr int64_t SectorBytes = 512;

// A sysfs attribute without its line end; empty when it is absent.
std::string ReadAttribute(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::string();
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

int64_t CapacityOf(const fs::path& device) {
    return SysfsSizeBytes(ReadAttribute(device / "size"));
}

fs::path DeviceLink(const std::string& sysfsRoot, unsigned major, unsigned minor) {
    return fs::path(sysfsRoot) / "dev" / "block" /
           (std::to_string(major) + ":" + std::to_string(minor));
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

bool SectorsToBytes(const std::string& text, int64_t& bytes) {
    int64_t sectors = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), sectors);
    const bool whole = parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
    if (!whole || sectors < 0) return false;
    if (sectors > std::numeric_limits<int64_t>::max() / SectorBytes) return false;
    bytes = sectors * SectorBytes;
    return true;
}

bool Resolve(const fs::path& link, fs::path& target) {
    std::error_code error;
    target = fs::canonical(link, error);
    return !error;
}

// The one entry of slaves/, false when there are none or several.
bool SingleSlave(const fs::path& slaves, fs::path& slave) {
    std::error_code error;
    fs::directory_iterator entries(slaves, error);
    if (error) return false;
    int count = 0;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        slave = entries->path();
        ++count;
    }
    return !error && count == 1;
}

// A partition is replaced by the device it is part of; false when that fails.
bool StepUpFromPartition(fs::path& device) {
    std::error_code error;
    return !fs::exists(device / "partition", error) || Resolve(device / "..", device);
}

bool WholeDiskOf(fs::path device, int depth, fs::path& disk) {
    if (depth > MaxStackDepth) return false;
    if (!StepUpFromPartition(device)) return false;
    std::error_code error;
    const fs::path slaves = device / "slaves";
    if (!fs::is_directory(slaves, error) || fs::is_empty(slaves, error)) {
        disk = device;
        return true;
    }
    fs::path slave;
    fs::path below;
    if (!SingleSlave(slaves, slave) || !Resolve(slave, below)) return false;
    return WholeDiskOf(below, depth + 1, disk);
}

}  // namespace

bool FindSysfsDisk(const std::string& sysfsRoot, unsigned major, unsigned minor,
                   SysfsDisk& disk) {
    const fs::path link = DeviceLink(sysfsRoot, major, minor);
    fs::path device;
    fs::path whole;
    if (!Resolve(link, device) || !WholeDiskOf(device, 0, whole)) return false;
    disk.vendor = ReadAttribute(whole / "device" / "vendor");
    disk.model = ReadAttribute(whole / "device" / "model");
    disk.capacityBytes = CapacityOf(whole);
    return true;
}

std::string PciVendorName(const std::string& vendor, std::istream& pciIds) {
    const bool number = vendor.size() == 6 && vendor.compare(0, 2, "0x") == 0 &&
                        vendor.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    if (!number) return vendor;
    std::string id = vendor.substr(2);
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // A vendor's line is its four digits, two spaces and its name; the lines
    // of its devices beneath it start with a tab.
    const std::string head = id + "  ";
    for (std::string line; std::getline(pciIds, line);) {
        if (line.compare(0, head.size(), head) == 0 && line.size() > head.size())
            return line.substr(head.size());
    }
    return vendor;
}

bool GatherLinuxDriveInfo(const std::wstring& folder) {
    struct stat status = {};
    if (stat(PathBytesFromWide(folder).c_str(), &status) != 0) return false;
    SysfsDisk disk;
    if (!FindSysfsDisk("/sys", major(status.st_dev), minor(status.st_dev), disk)) return false;
    // Where Debian's pci.ids and other distributions' hwdata put the database.
    for (const char* database : {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"}) {
        std::ifstream pciIds(database);
        if (!pciIds) continue;
        disk.vendor = PciVendorName(disk.vendor, pciIds);
        break;
    }
    return ApplyDiskTexts(disk.vendor, disk.model, disk.capacityBytes);
}

std::string MountedFileSystemType(const std::string& mountInfo, unsigned major, unsigned minor) {
    const std::string device = std::to_string(major) + ":" + std::to_string(minor);
    std::istringstream lines(mountInfo);
    for (std::string line; std::getline(lines, line);) {
        // "id parent major:minor root mount-point options [tags...] - type source options"
        const std::vector<std::string> words = Words(line);
        if (words.size() < 3 || words[2] != device) continue;
        for (size_t i = 3; i + 1 < words.size(); ++i) {
            if (words[i] == "-") return words[i + 1];
        }
    }
    return std::string();
}

int64_t SysfsSizeBytes(const std::string& text) {
    // sysfs gives the size in 512-byte sectors whatever the device's own sectors.
    int64_t sectors = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), sectors);
    if (parsed.ec != std::errc() || sectors <= 0) return 0;
    if (sectors > std::numeric_limits<int64_t>::max() / SectorBytes) return 0;
    return sectors * SectorBytes;
}

bool ParseSysfsStat(const std::string& text, DeviceCounters& counters) {
    // Fields: read I/Os, merges, sectors, ticks; write I/Os, merges, sectors, ...
    const std::vector<std::string> fields = Words(text);
    return fields.size() >= 7 && SectorsToBytes(fields[2], counters.bytesRead) &&
           SectorsToBytes(fields[6], counters.bytesWritten);
}

bool ReadSysfsCounters(const std::string& sysfsRoot, unsigned major, unsigned minor,
                       DeviceCounters& counters) {
    return ParseSysfsStat(ReadAttribute(DeviceLink(sysfsRoot, major, minor) / "stat"), counters);
}

bool DeviceKeepsStatistics(const std::string& sysfsRoot, unsigned major, unsigned minor) {
    fs::path device;
    if (!Resolve(DeviceLink(sysfsRoot, major, minor), device) || !StepUpFromPartition(device)) return true;
    return ReadAttribute(device / "queue" / "iostats") != "0";
}

bool LoopDeviceCached(const std::string& sysfsRoot, unsigned major, unsigned minor) {
    fs::path device;
    if (!Resolve(DeviceLink(sysfsRoot, major, minor), device) || !StepUpFromPartition(device)) return false;
    return ReadAttribute(device / "loop" / "dio") == "0";
}

bool FindLinuxStorage(const std::wstring& folder, LinuxStorage& storage) {
    struct stat status = {};
    if (stat(PathBytesFromWide(folder).c_str(), &status) != 0) return false;
    storage.major = major(status.st_dev);
    storage.minor = minor(status.st_dev);
    storage.fileSystem = MountedFileSystemType(ReadAttribute("/proc/self/mountinfo"),
                                               storage.major, storage.minor);
    fs::path device;
    // tmpfs, network and other device-less file systems have no entry here.
    if (Resolve(DeviceLink("/sys", storage.major, storage.minor), device))
        storage.device = device.filename().string();
    storage.cachedLoop = LoopDeviceCached("/sys", storage.major, storage.minor);
    return true;
}
