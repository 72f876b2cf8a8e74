#ifndef _WIN32

#include "platform/linux/linux_drive.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
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

}  // namespace

#endif
