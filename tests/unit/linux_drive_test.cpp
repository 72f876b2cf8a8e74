#ifndef _WIN32

#include "platform/linux/linux_drive.h"
#include "platform/linux/linux_storage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// A small sysfs tree in a scratch folder: links under dev/block lead to the
// device folders as the kernel lays them out.
class SysfsTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvasta-sysfs-" + std::to_string(getpid()));
        fs::remove_all(root);
        const fs::path sda = Device("devices/pci0/block/sda", "1000");
        Write(sda / "device/vendor", "ATA     \n");
        Write(sda / "device/model", "Fast  Disk 9000 \n");
        Partition(sda / "sda1", "8:1");
        Partition(sda / "sda2", "8:2");
        const fs::path vda = Device("devices/pci0/virtio1/block/vda", "536870912");
        Write(vda / "device/vendor", "0x1af4\n");
        Link("dev/block/254:0", "../../devices/pci0/virtio1/block/vda");
        Device("devices/pci0/block/sdb", "8");
        Device("devices/pci0/block/sdc", "8");
        // One logical volume on sda2, a second one stacked on it, and a
        // mirror over two disks.
        Stacked("dm-0", "253:0", {{"sda2", "../../../../pci0/block/sda/sda2"}});
        Stacked("dm-1", "253:1", {{"dm-0", "../../dm-0"}});
        Stacked("md0", "9:0",
                {{"sdb", "../../../../pci0/block/sdb"}, {"sdc", "../../../../pci0/block/sdc"}});
    }
    void TearDown() override { fs::remove_all(root); }

    static void Write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    void Link(const std::string& at, const std::string& target) {
        fs::create_directories((root / at).parent_path());
        fs::create_directory_symlink(target, root / at);
    }
    fs::path Device(const std::string& at, const std::string& sectors) {
        Write(root / at / "size", sectors + "\n");
        fs::create_directories(root / at / "slaves");
        return root / at;
    }
    void Partition(const fs::path& folder, const std::string& number) {
        Write(folder / "partition", "1\n");
        Write(folder / "size", "10\n");
        Link("dev/block/" + number, fs::relative(folder, root / "dev/block").string());
    }
    void Stacked(const std::string& name, const std::string& number,
                 std::initializer_list<std::pair<const char*, const char*>> below) {
        const fs::path folder = Device("devices/virtual/block/" + name, "4");
        for (const auto& [slave, target] : below) {
            fs::create_directory_symlink(target, folder / "slaves" / slave);
        }
        Link("dev/block/" + number, "../../devices/virtual/block/" + name);
    }
    bool Find(unsigned major, unsigned minor) {
        disk = SysfsDisk();
        return FindSysfsDisk({root.string(), (root / "udev").string()}, major, minor, disk);
    }
    // The storage of a file on the mount of the given ID, which the first
    // line of mountInfo names.
    LinuxStorage Storage(const std::string& mountInfo, unsigned major, unsigned minor) {
        LinuxStorage storage;
        StorageOfMount(root.string(), mountInfo, FileMount{true, 40, major, minor}, storage);
        return storage;
    }
    static std::string Layers(const LinuxStorage& storage) {
        std::string text;
        for (const CacheLayer& layer : storage.layers)
            text += std::to_string(static_cast<int>(layer.kind)) + ":" + layer.counted + ">" + layer.device + " ";
        return text;
    }

    fs::path root;
    SysfsDisk disk;
};

TEST_F(SysfsTreeTest, PartitionLeadsToItsWholeDisk) {
    ASSERT_TRUE(Find(8, 1));
    // The bytes as the kernel gives them, padding included, without the line
    // end; libata's "ATA" is no maker.
    EXPECT_EQ(disk.vendor, "");
    EXPECT_EQ(disk.model, "Fast  Disk 9000 ");
    EXPECT_EQ(disk.capacityBytes, 512000);
}

TEST_F(SysfsTreeTest, StackedDevicesOverOneDiskLeadToIt) {
    ASSERT_TRUE(Find(253, 0));
    EXPECT_EQ(disk.capacityBytes, 512000);
    ASSERT_TRUE(Find(253, 1));
    EXPECT_EQ(disk.model, "Fast  Disk 9000 ");
}

TEST_F(SysfsTreeTest, NoSingleDiskMeansNoTexts) {
    Stacked("dm-5", "253:5", {{"sdb", "../../../../pci0/block/sdb"}, {"sdc", "../../../../pci0/block/sdc"}});
    EXPECT_FALSE(Find(253, 5));  // a striped volume over two disks
    EXPECT_FALSE(Find(0, 42));  // not a block device (btrfs, overlay, tmpfs)
}

// An md array is named by its level and its own size; every path of a
// multipath map leads to the same disk.
TEST_F(SysfsTreeTest, ArraysAndMultipathMaps) {
    Write(root / "devices/virtual/block/md0/md/level", "raid1\n");
    ASSERT_TRUE(Find(9, 0));
    EXPECT_EQ(disk.vendor, "Linux md");
    EXPECT_EQ(disk.model, "raid1 array");
    EXPECT_EQ(disk.capacityBytes, 2048);
    Write(root / "devices/pci0/block/sdb/device/model", "Shared LUN\n");
    Stacked("dm-6", "253:6", {{"sdb", "../../../../pci0/block/sdb"}, {"sdc", "../../../../pci0/block/sdc"}});
    Write(root / "devices/virtual/block/dm-6/dm/uuid", "mpath-3600a098038303053\n");
    ASSERT_TRUE(Find(253, 6));
    EXPECT_EQ(disk.model, "Shared LUN");
}

// A VPD page 89h whose IDENTIFY data holds model, each pair of characters
// swapped as ATA stores them.
std::string IdentifyPage(const std::string& model) {
    std::string page(572, '\0');
    page[1] = static_cast<char>(0x89);
    std::string padded = model;
    padded.resize(40, ' ');
    for (size_t i = 0; i < padded.size(); i += 2) {
        page[114 + i] = padded[i + 1];
        page[114 + i + 1] = padded[i];
    }
    return page;
}

// libata cuts the model to 16 characters: the identify data, then udev's
// database, give all of it; NVMe makers come from the controller's PCI
// function, SD cards' from their register.
TEST_F(SysfsTreeTest, DisksNamedByTheirKind) {
    Write(root / "devices/pci0/block/sda/device/vpd_pg89", IdentifyPage("Samsung SSD 870 EVO 1TB"));
    ASSERT_TRUE(Find(8, 2));
    EXPECT_EQ(disk.vendor, "");
    EXPECT_EQ(disk.model, "Samsung SSD 870 EVO 1TB                 ");

    Write(root / "devices/pci0/block/sdb/dev", "8:16\n");
    Write(root / "devices/pci0/block/sdb/device/vendor", "ATA     \n");
    Write(root / "devices/pci0/block/sdb/device/model", "WDC WD40EFRX-68N\n");
    Link("dev/block/8:16", "../../devices/pci0/block/sdb");
    Write(root / "udev/b8:16", "S:disk/by-id/x\nE:ID_MODEL=WDC_WD40EFRX-68N32N0\n"
                              "E:ID_MODEL_ENC=WDC\\x20WD40EFRX-68N32N0\\x20\\x20\nE:ID_BUS=ata\n");
    ASSERT_TRUE(Find(8, 16));
    EXPECT_EQ(disk.model, "WDC WD40EFRX-68N32N0  ");
    Write(root / "udev/b8:16", "E:ID_MODEL=WDC_WD40EFRX-68N32N0\n");
    ASSERT_TRUE(Find(8, 16));
    EXPECT_EQ(disk.model, "WDC WD40EFRX-68N32N0");

    const std::string pci = "devices/pci0/0000:01:00.0";
    Write(root / pci / "subsystem_vendor", "0xc0a9\n");
    Write(root / pci / "vendor", "0x1344\n");
    Write(root / pci / "nvme/nvme0/model", "CT1000P5SSD8                            \n");
    fs::create_directory_symlink("../../../0000:01:00.0", root / pci / "nvme/nvme0/device");
    Device(pci + "/nvme/nvme0/nvme0n1", "100");
    fs::create_directory_symlink("../../nvme0", root / pci / "nvme/nvme0/nvme0n1/device");
    Link("dev/block/259:5", "../../" + pci + "/nvme/nvme0/nvme0n1");
    ASSERT_TRUE(Find(259, 5));
    EXPECT_EQ(disk.vendor, "0xc0a9");
    EXPECT_EQ(disk.model.substr(0, 13), "CT1000P5SSD8 ");

    const std::string card = "devices/platform/mmc0/mmc0:0001";
    Write(root / card / "name", "SD16G\n");
    Write(root / card / "manfid", "0x000003\n");
    Write(root / card / "type", "SD\n");
    Device(card + "/block/mmcblk0", "100");
    fs::create_directory_symlink("../../../mmc0:0001", root / card / "block/mmcblk0/device");
    Link("dev/block/179:0", "../../" + card + "/block/mmcblk0");
    ASSERT_TRUE(Find(179, 0));
    EXPECT_EQ(disk.vendor, "SD manufacturer ID 0x000003");
    EXPECT_EQ(disk.model, "SD16G");
}

TEST(AtaIdentify, OnlyAWholePage89GivesAModel) {
    EXPECT_EQ(AtaIdentifyModel(IdentifyPage("ab")), "ab" + std::string(38, ' '));
    std::string page = IdentifyPage("Disk");
    EXPECT_EQ(AtaIdentifyModel(page.substr(0, 153)), "");
    page[1] = static_cast<char>(0x83);
    EXPECT_EQ(AtaIdentifyModel(page), "");
    EXPECT_EQ(UdevModel("E:ID_SERIAL=x\n"), "");
}

TEST_F(SysfsTreeTest, VirtualDiskWithoutModel) {
    ASSERT_TRUE(Find(254, 0));
    EXPECT_EQ(disk.vendor, "0x1af4");
    EXPECT_EQ(disk.model, "");
    EXPECT_EQ(disk.capacityBytes, 274'877'906'944);
}

TEST_F(SysfsTreeTest, CountersAreTheDevicesOwnInBytes) {
    // A partition and a logical volume count for themselves, not for their disk.
    Write(root / "devices/pci0/block/sda/stat", "9 0 999 0 9 0 999 0 0 0 0\n");
    Write(root / "devices/pci0/block/sda/sda2/stat", "   12  3  2048  7   4 0 4096 1 0 5 8 0 0 0 0\n");
    Write(root / "devices/virtual/block/dm-0/stat", "1 0 8 0 1 0 16 0 0 0 0\n");
    DeviceCounters counters;
    ASSERT_TRUE(ReadSysfsCounters(root.string(), 8, 2, counters));
    EXPECT_EQ(counters.bytesRead, 2048 * 512);
    EXPECT_EQ(counters.bytesWritten, 4096 * 512);
    ASSERT_TRUE(ReadSysfsCounters(root.string(), 253, 0, counters));
    EXPECT_EQ(counters.bytesRead, 8 * 512);
    EXPECT_EQ(counters.bytesWritten, 16 * 512);
    // No device, no stat, or a stat that is not numbers: nothing to read.
    EXPECT_FALSE(ReadSysfsCounters(root.string(), 0, 42, counters));
    EXPECT_FALSE(ReadSysfsCounters(root.string(), 8, 1, counters));
    Write(root / "devices/pci0/block/sda/sda1/stat", "1 0 x 0 1 0 2 0\n");
    EXPECT_FALSE(ReadSysfsCounters(root.string(), 8, 1, counters));
    Write(root / "devices/pci0/block/sda/sda1/stat", "1 0 2 0 1 0\n");
    EXPECT_FALSE(ReadSysfsCounters(root.string(), 8, 1, counters));
}

// The layers under the counted device whose counters count what a cache
// answered: walked down the whole stack, a partition standing for its disk.
TEST_F(SysfsTreeTest, CachesBeneathTheDeviceAreFound) {
    const auto loop = [this](const std::string& name, const std::string& number, const char* dio) {
        Device("devices/virtual/block/" + name, "8");
        Write(root / "devices/virtual/block" / name / "loop/dio", dio);
        Link("dev/block/" + number, "../../devices/virtual/block/" + name);
    };
    loop("loop0", "7:0", "0\n");
    loop("loop1", "7:1", "1\n");
    Partition(root / "devices/virtual/block/loop0/loop0p1", "259:0");
    Stacked("dm-2", "253:2", {{"loop0", "../../loop0"}});
    Stacked("dm-3", "253:3", {{"dm-2", "../../dm-2"}});
    Stacked("dm-4", "253:4", {{"loop1", "../../loop1"}});
    Device("devices/virtual/block/zram0", "8");
    Link("dev/block/251:0", "../../devices/virtual/block/zram0");
    Device("devices/virtual/block/zd16", "8");
    Link("dev/block/230:16", "../../devices/virtual/block/zd16");
    Stacked("bcache0", "252:0", {{"sdb", "../../../../pci0/block/sdb"}, {"sdc", "../../../../pci0/block/sdc"}});
    // lvmcache: the cached volume over its origin and its cache's data and metadata.
    Stacked("dm-7", "253:7", {{"sdb", "../../../../pci0/block/sdb"}});
    Write(root / "devices/virtual/block/dm-7/dm/name", "vg-home_corig\n");
    Stacked("dm-8", "253:8", {{"dm-7", "../../dm-7"}});
    const std::string mount = "40 1 7:0 / /m rw - ext4 /dev/x rw\n";
    const std::pair<std::pair<unsigned, unsigned>, const char*> cases[] = {
        {{7, 0}, "0:loop0>loop0 "},     {{259, 0}, "0:loop0p1>loop0 "},
        {{253, 3}, "0:dm-3>loop0 "},    {{253, 4}, ""},
        {{7, 1}, ""},                   {{8, 1}, ""},
        {{251, 0}, "1:zram0>zram0 "},   {{230, 16}, "2:zd16>zd16 "},
        {{252, 0}, "3:bcache0>bcache0 "}, {{253, 8}, "4:dm-8>dm-7 "},
        {{254, 0}, "5:vda>vda "},
    };
    for (const auto& [number, layers] : cases) {
        const LinuxStorage storage = Storage(mount, number.first, number.second);
        ASSERT_EQ(storage.devices.size(), 1u) << number.first << ":" << number.second;
        EXPECT_EQ(Layers(storage), layers) << storage.devices.front().name;
    }
}

// With iostats off the counters stand still: a partition's disk decides.
TEST_F(SysfsTreeTest, CountersNotKeptWhereIostatsIsOff) {
    const std::string mount = "40 1 8:1 / /m rw - ext4 /dev/sda1 rw\n";
    EXPECT_TRUE(Storage(mount, 8, 1).countersKept);
    Write(root / "devices/pci0/block/sda/queue/iostats", "0\n");
    EXPECT_FALSE(Storage(mount, 8, 1).countersKept);
    EXPECT_TRUE(Storage(mount, 254, 0).countersKept);
    Write(root / "devices/pci0/virtio1/block/vda/queue/iostats", "0\n");
    EXPECT_FALSE(Storage(mount, 254, 0).countersKept);
}

// btrfs gives its files an anonymous device: every member of the file
// system that the mount's source belongs to is counted, whichever subvolume.
TEST_F(SysfsTreeTest, BtrfsCountsEveryMember) {
    for (const char* name : {"loop3", "loop4", "loop5"}) {
        Device(std::string("devices/virtual/block/") + name, "8");
        Write(root / "devices/virtual/block" / name / "dev", std::string("7:") + name[4] + "\n");
    }
    fs::create_directories(root / "fs/btrfs/features");
    const auto member = [this](const std::string& fsid, const std::string& name) {
        Link("fs/btrfs/" + fsid + "/devices/" + name, "../../../../devices/virtual/block/" + name);
    };
    member("0d1e-other", "loop5");
    member("9a7c-raid0", "loop3");
    member("9a7c-raid0", "loop4");
    const std::string mountInfo =
        "39 1 0:61 / /other rw - btrfs /dev/loop5 rw\n"
        "40 1 0:60 /@home /home rw,relatime shared:7 - btrfs /dev/corvasta-none/loop4 rw,space_cache=v2,subvol=/@home\n";
    LinuxStorage storage = Storage(mountInfo, 0, 60);
    EXPECT_EQ(storage.fileSystem, "btrfs");
    EXPECT_EQ(DevicesName(storage.devices), "loop3+loop4");
    ASSERT_EQ(storage.devices.size(), 2u);
    EXPECT_EQ(storage.devices[1].major, 7u);
    EXPECT_EQ(storage.devices[1].minor, 4u);
    // A source in no btrfs list: no device, but the type stays known.
    storage = Storage("40 1 0:60 / /x rw - btrfs /dev/sdz rw\n", 0, 60);
    EXPECT_EQ(storage.fileSystem, "btrfs");
    EXPECT_TRUE(storage.devices.empty());
    // No line for the mount: nothing from the table, the device by its numbers.
    storage = Storage("41 1 254:0 / /x rw - ext4 /dev/vda rw\n", 254, 0);
    EXPECT_EQ(storage.fileSystem, "");
    EXPECT_EQ(DevicesName(storage.devices), "vda");
}

// What an overlay writes lands on its upper layer's device; an upper layer
// this system cannot see hides the device.
TEST_F(SysfsTreeTest, OverlayFollowsItsUpperLayer) {
    const fs::path upper = root / "upper layer";
    fs::create_directories(upper);
    struct statx info {};
    ASSERT_EQ(statx(AT_FDCWD, upper.c_str(), 0, STATX_MNT_ID, &info), 0);
    ASSERT_TRUE(info.stx_mask & STATX_MNT_ID);
    const std::string number = std::to_string(info.stx_dev_major) + ":" + std::to_string(info.stx_dev_minor);
    // The scratch folder's device may be one the tree holds already.
    if (!fs::exists(root / "dev/block" / number)) Link("dev/block/" + number, "../../devices/pci0/virtio1/block/vda");
    const std::string name = fs::canonical(root / "dev/block" / number).filename().string();
    std::string escaped = upper.string();
    escaped.replace(escaped.find(' '), 1, "\\040");
    const std::string lines = std::to_string(info.stx_mnt_id) + " 1 " + number + " / /up rw - xfs /dev/vda rw\n";
    LinuxStorage storage = Storage("40 1 0:70 / / rw - overlay overlay rw,lowerdir=/l,upperdir=" + escaped +
                                       ",workdir=/w\n" + lines, 0, 70);
    EXPECT_EQ(storage.fileSystem, "overlay");
    EXPECT_FALSE(storage.deviceHidden);
    EXPECT_EQ(DevicesName(storage.devices), name);
    for (const char* options : {"rw,lowerdir=/l,upperdir=/corvasta-none/up,workdir=/w", "ro,lowerdir=/l"}) {
        storage = Storage(std::string("40 1 0:70 / / rw - overlay overlay ") + options + "\n" + lines, 0, 70);
        EXPECT_TRUE(storage.deviceHidden) << options;
        EXPECT_TRUE(storage.devices.empty());
    }
}

TEST(MountTable, MountsAreFoundByTheirIdOrElseTheirDevice) {
    const std::string mountInfo =
        "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "35 22 0:31 / /dev/shm rw,nosuid shared:5 master:2 - tmpfs tmpfs rw\n"
        "36 22 0:31 / /run/shm rw - tmpfs\n"
        "x 22 7:1 / /bad rw - xfs /dev/loop1 rw\n"
        "40 22 7:0 / /mnt/a\\040b rw - xfs /dev/loop0\n";
    MountEntry entry;
    ASSERT_TRUE(FindMount(mountInfo, FileMount{true, 35, 0, 0}, entry));
    EXPECT_EQ(entry.fileSystem, "tmpfs");
    EXPECT_EQ(entry.deviceNumber, "0:31");
    ASSERT_TRUE(FindMount(mountInfo, FileMount{false, 0, 7, 0}, entry));
    EXPECT_EQ(entry.mountId, 40u);
    EXPECT_EQ(entry.source, "/dev/loop0");
    EXPECT_EQ(entry.superOptions, "");
    EXPECT_FALSE(FindMount(mountInfo, FileMount{true, 36, 0, 0}, entry));  // no source
    EXPECT_FALSE(FindMount(mountInfo, FileMount{false, 0, 7, 1}, entry));  // no ID
    EXPECT_FALSE(FindMount(mountInfo, FileMount{true, 9, 0, 0}, entry));
    EXPECT_FALSE(FindMount("9 1 0:3 / /x rw shared:1\n", FileMount{true, 9, 0, 3}, entry));
    EXPECT_EQ(OverlayUpperDir("lowerdir=/a,upperdir=/b\\054c\\040d\\134,workdir=/w"), "/b,c d\\");
    EXPECT_EQ(OverlayUpperDir("upperdir=/b\\04"), "/b\\04");
}

// A vendor line, not a device line beneath another vendor with the same
// digits; the installed database too, which the tests install.
TEST(PciVendor, NumbersAreNamedFromTheDatabaseOthersKept) {
    const std::string database =
        "# comment 1af4  Not this\n"
        "1234  Other\n"
        "\t1af4  A device of another vendor\n"
        "1af4  Red Hat, Inc.\n"
        "\t1000  Virtio network device\n";
    const std::pair<const char*, const char*> cases[] = {
        {"0x1af4", "Red Hat, Inc."}, {"0x1AF4", "Red Hat, Inc."}, {"0x9999", "0x9999"},
        {"ATA", "ATA"},              {"0x1af", "0x1af"},          {"0x1af4 ", "0x1af4 "},
    };
    for (const auto& [vendor, named] : cases) {
        std::istringstream pciIds(database);
        EXPECT_EQ(PciVendorName(vendor, pciIds), named) << vendor;
    }
    std::ifstream installed("/usr/share/misc/pci.ids");
    ASSERT_TRUE(installed) << "the tests' packages include pci.ids";
    EXPECT_EQ(PciVendorName("0x1af4", installed), "Red Hat, Inc.");
}

}  // namespace

#endif
