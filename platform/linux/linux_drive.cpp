#include "platform/linux/linux_drive.h"

#include "drive/disk_query.h"
#include "platform/linux/linux_storage.h"
#include "platform/linux/linux_sysfs.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

using sysfs::fs::path;

namespace {

// Device stacks deeper than this are not a single disk worth naming.
constexpr int MaxStackDepth = 8;
constexpr int64_t SectorBytes = 512;
// VPD page 89h holds the ATA IDENTIFY data from byte 60; the model is its
// words 27 to 46, each word's first character in its high byte.
constexpr size_t IdentifyOffset = 60;
constexpr size_t ModelOffset = IdentifyOffset + 27 * 2;
constexpr size_t ModelBytes = 40;

int64_t CapacityOf(const path& device) {
    return SysfsSizeBytes(sysfs::ReadAttribute(device / "size"));
}

bool MdArray(const path& device) {
    return !sysfs::ReadAttribute(device / "md" / "level").empty();
}

bool Multipath(const path& device) {
    return sysfs::StartsWith(sysfs::ReadAttribute(device / "dm" / "uuid"), "mpath-");
}

bool WholeDiskOf(path device, int depth, path& disk) {
    if (depth > MaxStackDepth || !sysfs::StepUpFromPartition(device)) return false;
    const std::vector<path> slaves = sysfs::Entries(device / "slaves");
    // An array is named for itself, by its level and size.
    if (slaves.empty() || MdArray(device)) {
        disk = device;
        return true;
    }
    // Every path of a multipath map leads to the same disk.
    if (slaves.size() > 1 && !Multipath(device)) return false;
    path below;
    return sysfs::Resolve(slaves.front(), below) && WholeDiskOf(below, depth + 1, disk);
}

std::string TrimmedSpaces(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "\x20" and the like, as udev writes what is not plain in its _ENC values.
std::string HexUnescaped(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        const bool escape = text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() &&
                            std::from_chars(text.data() + i + 2, text.data() + i + 4, value, 16).ptr ==
                                text.data() + i + 4;
        plain += escape ? static_cast<char>(value) : text[i];
        if (escape) i += 3;
    }
    return plain;
}

// libata cuts the SCSI model to 16 characters; the identify data and udev
// keep all of it.
std::string FullAtaModel(const DiskSources& sources, const path& disk) {
    const std::string identified = AtaIdentifyModel(sysfs::ReadAttribute(disk / "device" / "vpd_pg89"));
    if (!TrimmedSpaces(identified).empty()) return identified;
    const std::string entry = "b" + sysfs::ReadAttribute(disk / "dev");
    return UdevModel(sysfs::ReadAttribute(path(sources.udevData) / entry));
}

// The controller's PCI function names the maker; under native NVMe
// multipath the namespace hangs from its subsystem, which lists the controllers.
std::string NvmeSubsystemVendor(const path& controller) {
    std::vector<path> candidates = {controller / "device"};
    for (const path& entry : sysfs::Entries(controller)) {
        if (sysfs::StartsWith(entry.filename().string(), "nvme")) candidates.push_back(entry / "device");
    }
    for (const path& function : candidates) {
        const std::string vendor = sysfs::ReadAttribute(function / "subsystem_vendor");
        if (!vendor.empty()) return vendor;
    }
    return std::string();
}

void NameDisk(const DiskSources& sources, const path& disk, SysfsDisk& named) {
    named.capacityBytes = CapacityOf(disk);
    const path device = disk / "device";
    const std::string level = sysfs::ReadAttribute(disk / "md" / "level");
    if (!level.empty()) {
        named.vendor = "Linux md";
        named.model = level + " array";
    } else if (sysfs::StartsWith(disk.filename().string(), "nvme")) {
        named.vendor = NvmeSubsystemVendor(device);
        named.model = sysfs::ReadAttribute(device / "model");
    } else if (!sysfs::ReadAttribute(device / "manfid").empty()) {
        // SD cards and eMMC: the card's name, and the maker's number in its register.
        named.vendor = sysfs::ReadAttribute(device / "type") + " manufacturer ID " +
                       sysfs::ReadAttribute(device / "manfid");
        named.model = sysfs::ReadAttribute(device / "name");
    } else {
        named.vendor = sysfs::ReadAttribute(device / "vendor");
        named.model = sysfs::ReadAttribute(device / "model");
    }
    // libata puts "ATA" where the maker goes: the maker then comes from the model.
    if (TrimmedSpaces(named.vendor) != "ATA") return;
    named.vendor.clear();
    const std::string full = FullAtaModel(sources, disk);
    if (!TrimmedSpaces(full).empty()) named.model = full;
}

}  // namespace

bool FindSysfsDisk(const DiskSources& sources, unsigned major, unsigned minor, SysfsDisk& disk) {
    path device;
    path whole;
    if (!sysfs::Resolve(sysfs::DeviceLink(sources.sysfsRoot, major, minor), device) ||
        !WholeDiskOf(device, 0, whole))
        return false;
    NameDisk(sources, whole, disk);
    return true;
}

std::string AtaIdentifyModel(const std::string& page89) {
    if (page89.size() < ModelOffset + ModelBytes || static_cast<unsigned char>(page89[1]) != 0x89)
        return std::string();
    std::string model;
    for (size_t i = ModelOffset; i < ModelOffset + ModelBytes; i += 2) {
        model += page89[i + 1];
        model += page89[i];
    }
    for (char& c : model) {
        if (c == '\0') c = ' ';
    }
    return model;
}

std::string UdevModel(const std::string& entry) {
    std::istringstream lines(entry);
    std::string underscored;
    for (std::string line; std::getline(lines, line);) {
        if (sysfs::StartsWith(line, "E:ID_MODEL_ENC=")) return HexUnescaped(line.substr(15));
        if (sysfs::StartsWith(line, "E:ID_MODEL=")) underscored = line.substr(11);
    }
    // Plain ID_MODEL has its spaces made underscores.
    for (char& c : underscored) {
        if (c == '_') c = ' ';
    }
    return underscored;
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
    LinuxStorage storage;
    // A btrfs over several devices has no one disk to name.
    if (!FindLinuxStorage(folder, storage) || storage.devices.size() != 1) return false;
    SysfsDisk disk;
    const BlockDevice& device = storage.devices.front();
    if (!FindSysfsDisk({"/sys", "/run/udev/data"}, device.major, device.minor, disk)) return false;
    // Where Debian's pci.ids and other distributions' hwdata put the database.
    for (const char* database : {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"}) {
        std::ifstream pciIds(database);
        if (!pciIds) continue;
        disk.vendor = PciVendorName(disk.vendor, pciIds);
        break;
    }
    return ApplyDiskTexts(disk.vendor, disk.model, disk.capacityBytes);
}

int64_t SysfsSizeBytes(const std::string& text) {
    // sysfs gives the size in 512-byte sectors whatever the device's own sectors.
    int64_t sectors = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), sectors);
    if (parsed.ec != std::errc() || sectors <= 0) return 0;
    if (sectors > std::numeric_limits<int64_t>::max() / SectorBytes) return 0;
    return sectors * SectorBytes;
}
