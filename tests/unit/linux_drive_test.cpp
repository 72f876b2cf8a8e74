#ifndef _WIN32

#include "platform/linux/linux_drive.h"

#include <gtest/gtest.h>

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
        return FindSysfsDisk(root.string(), major, minor, disk);
    }

    fs::path root;
    SysfsDisk disk;
};

TEST_F(SysfsTreeTest, PartitionLeadsToItsWholeDisk) {
    ASSERT_TRUE(Find(8, 1));
    // The bytes as the kernel gives them, padding included, without the line end.
    EXPECT_EQ(disk.vendor, "ATA     ");
    EXPECT_EQ(disk.model, "Fast  Disk 9000 ");
    EXPECT_EQ(disk.capacityBytes, 512000);
}

TEST_F(SysfsTreeTest, StackedDevicesOverOneDiskLeadToIt) {
    ASSERT_TRUE(Find(253, 0));
    EXPECT_EQ(disk.capacityBytes, 512000);
    ASSERT_TRUE(Find(253, 1));
    EXPECT_EQ(disk.vendor, "ATA     ");
}

TEST_F(SysfsTreeTest, NoSingleDiskMeansNoTexts) {
    EXPECT_FALSE(Find(9, 0));  // a mirror over two disks
    EXPECT_FALSE(Find(0, 42));  // not a block device (btrfs, overlay, tmpfs)
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

// Statistics switched off on the disk stop its partitions' counters too; a
// disk without the switch counts.
TEST_F(SysfsTreeTest, StatisticsSwitchedOffAreNoted) {
    EXPECT_TRUE(DeviceKeepsStatistics(root.string(), 8, 2));
    Write(root / "devices/pci0/block/sda/queue/iostats", "1\n");
    EXPECT_TRUE(DeviceKeepsStatistics(root.string(), 8, 2));
    Write(root / "devices/pci0/block/sda/queue/iostats", "0\n");
    EXPECT_FALSE(DeviceKeepsStatistics(root.string(), 8, 2));
    EXPECT_TRUE(DeviceKeepsStatistics(root.string(), 0, 42));
}

// A loop device without direct I/O reads its file through the page cache;
// its partitions too. Direct I/O, or no loop device at all, is not flagged.
TEST_F(SysfsTreeTest, LoopDeviceThroughThePageCacheIsFlagged) {
    Device("devices/virtual/block/loop0", "8");
    Write(root / "devices/virtual/block/loop0/loop/dio", "0\n");
    Link("dev/block/7:0", "../../devices/virtual/block/loop0");
    Partition(root / "devices/virtual/block/loop0/loop0p1", "259:0");
    Device("devices/virtual/block/loop1", "8");
    Write(root / "devices/virtual/block/loop1/loop/dio", "1\n");
    Link("dev/block/7:1", "../../devices/virtual/block/loop1");
    EXPECT_TRUE(LoopDeviceCached(root.string(), 7, 0));
    EXPECT_TRUE(LoopDeviceCached(root.string(), 259, 0));
    EXPECT_FALSE(LoopDeviceCached(root.string(), 7, 1));
    EXPECT_FALSE(LoopDeviceCached(root.string(), 8, 1));
    EXPECT_FALSE(LoopDeviceCached(root.string(), 0, 42));
}

TEST(MountTable, TypeComesAfterTheSeparatorOfTheDevicesLine) {
    const std::string mountInfo =
        "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "35 22 0:31 / /dev/shm rw,nosuid shared:5 master:2 - tmpfs tmpfs rw\n"
        "40 22 7:0 / /mnt/a\\040b rw - xfs /dev/loop0 rw\n";
    EXPECT_EQ(MountedFileSystemType(mountInfo, 254, 0), "ext4");
    EXPECT_EQ(MountedFileSystemType(mountInfo, 0, 31), "tmpfs");
    EXPECT_EQ(MountedFileSystemType(mountInfo, 7, 0), "xfs");
    EXPECT_EQ(MountedFileSystemType(mountInfo, 0, 3), "");
    EXPECT_EQ(MountedFileSystemType("9 1 0:3 / /x rw shared:1\n", 0, 3), "");
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
