// The console's device proof: the physical disk's counters through the seam,
// as Windows serves them (and Wine does not), and what a pass's share means.
#include "cli/cli_storage.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD IoctlDiskPerformance = 0x70020;

// The volume E: lies on the disks of disks (PhysicalDrive2 unless a test
// says otherwise); each disk's counters answer as scripted, its number times
// the base counts, so a sum shows which disks went into it.
struct CounterScript {
    std::vector<uint32_t> disks = {2};
    uint32_t deviceType = FileDeviceDisk;
    int64_t bytesRead = 0;
    int64_t bytesWritten = 0;
    DWORD error = 0;        // non-zero: the counters query fails with it
    DWORD returned = 88;
};

class DiskCounters : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        Fake().devices = {L"\\\\.\\E:", L"\\\\.\\PhysicalDrive1", L"\\\\.\\PhysicalDrive2",
                          L"\\\\.\\PhysicalDrive3"};
        Fake().deviceControl = [this](const std::wstring& path, DWORD code, const void*, DWORD,
                                      void* output, DWORD outputBytes, DWORD* returned) {
            return Answer(path, code, static_cast<unsigned char*>(output), outputBytes, returned);
        };
    }

    void TearDown() override {
        ExpectNothingLeftOpen();
        RemoveFake();
    }

    // A volume over several disks has no device number of its own.
    BOOL AnswerDeviceNumber(unsigned char* output, DWORD* returned) {
        if (script.disks.size() != 1) {
            Platform.SetLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
        }
        const uint32_t words[3] = {script.deviceType, script.disks.front(), 1};
        std::memcpy(output, words, sizeof words);
        *returned = sizeof words;
        return TRUE;
    }

    BOOL Answer(const std::wstring& path, DWORD code, unsigned char* output, DWORD outputBytes,
                DWORD* returned) {
        if (code == IoctlStorageGetDeviceNumber) return AnswerDeviceNumber(output, returned);
        if (code == IoctlVolumeGetVolumeDiskExtents)
            return AnswerVolumeExtents(script.disks, output, outputBytes, returned);
        EXPECT_EQ(code, IoctlDiskPerformance);
        EXPECT_EQ(path.rfind(L"\\\\.\\PhysicalDrive", 0), 0u);
        EXPECT_EQ(outputBytes, 88u);
        if (script.error != 0) {
            Platform.SetLastError(script.error);
            return FALSE;
        }
        const int64_t disk = path.back() - L'0';
        const int64_t counts[2] = {script.bytesRead * disk, script.bytesWritten * disk};
        std::memcpy(output, counts, sizeof counts);
        *returned = script.returned;
        return TRUE;
    }

    bool Read(DeviceCounters& counters, std::wstring& errorText) {
        const StorageInfo storage = ProbeStorage(L"e:\\bench\\");
        EXPECT_EQ(storage.device, L"PhysicalDrive2");
        return ReadStorageCounters(storage, counters, errorText);
    }

    CounterScript script;
};

TEST_F(DiskCounters, ReadFromThePhysicalDiskOfTheVolume) {
    script.bytesRead = 6'757'023'744;
    script.bytesWritten = 2'500'000'000'000;
    DeviceCounters counters;
    std::wstring errorText;
    ASSERT_TRUE(Read(counters, errorText));
    EXPECT_EQ(counters.bytesRead, 13'514'047'488);
    EXPECT_EQ(counters.bytesWritten, 5'000'000'000'000);
    EXPECT_TRUE(errorText.empty());
}

TEST_F(DiskCounters, AVolumeOverTwoDisksCountsBoth) {
    script.disks = {3, 1, 3};
    script.bytesRead = 1000;
    script.bytesWritten = 10;
    const StorageInfo storage = ProbeStorage(L"E:\\");
    EXPECT_EQ(storage.device, L"PhysicalDrive3+PhysicalDrive1");
    EXPECT_TRUE(StorageWarnings(L"E:\\", storage).empty());
    DeviceCounters counters;
    std::wstring errorText;
    ASSERT_TRUE(ReadStorageCounters(storage, counters, errorText));
    EXPECT_EQ(counters.bytesRead, 4000);
    EXPECT_EQ(counters.bytesWritten, 40);
    // One disk that does not answer spoils the sum.
    FailCall("CreateFileW", ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(ReadStorageCounters(storage, counters, errorText));
    EXPECT_EQ(errorText, L"Unable to open \\\\.\\PhysicalDrive1. Windows error: 5");
}

TEST_F(DiskCounters, NotServedAsUnderWine) {
    script.error = ERROR_NOT_SUPPORTED;
    DeviceCounters counters;
    std::wstring errorText;
    EXPECT_FALSE(Read(counters, errorText));
    EXPECT_EQ(errorText, L"Unable to read the disk counters. Windows error: 50");
}

TEST_F(DiskCounters, DiskThatCannotBeOpenedOrAnswersShort) {
    DeviceCounters counters;
    std::wstring errorText;
    // The folder and the volume open; the disk does not.
    FailCall("CreateFileW", ERROR_ACCESS_DENIED, 2);
    EXPECT_FALSE(Read(counters, errorText));
    EXPECT_EQ(errorText, L"Unable to open \\\\.\\PhysicalDrive2. Windows error: 5");
    script.returned = 15;
    errorText.clear();
    EXPECT_FALSE(Read(counters, errorText));
    EXPECT_EQ(errorText, L"The disk counters came back short: 15 bytes");
}

TEST_F(DiskCounters, VolumeWithoutADiskOrNoVolumeHasNoDevice) {
    script.disks.clear();
    const StorageInfo spread = ProbeStorage(L"E:\\");
    EXPECT_TRUE(spread.device.empty());
    EXPECT_EQ(StorageWarnings(L"E:\\", spread).at(0),
              L"the device counters of E: are not available "
              L"(Unable to identify the physical disk. Windows error: 1)");
    script.disks = {0};
    script.deviceType = 2;  // FILE_DEVICE_CD_ROM: its number is no PhysicalDrive's
    const StorageInfo optical = ProbeStorage(L"E:\\");
    EXPECT_TRUE(optical.device.empty());
    EXPECT_EQ(StorageWarnings(L"E:\\", optical).at(0),
              L"the device counters of E: are not available (The volume E: is not on a disk)");
    const StorageInfo share = ProbeStorage(L"\\\\server\\share\\");
    EXPECT_TRUE(share.device.empty());
    EXPECT_EQ(StorageWarnings(L"\\\\server\\share\\", share).at(0).rfind(L"the folder's file system (", 0), 0u);
}

TEST(FolderNotes, CompressedAndEncryptedFoldersAreToldOf) {
    InstallFake();
    const std::wstring folder = FakePath(L"");
    EXPECT_EQ(FolderAttributeNotes(folder).note, L"");
    EXPECT_EQ(FolderAttributeNotes(folder).warning, L"");
    Fake().nodes[Fake().currentDirectory].attributes |= FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED;
    const FolderNotes notes = FolderAttributeNotes(folder);
    EXPECT_EQ(notes.note, L"The folder is compressed: the test file is made uncompressed");
    EXPECT_EQ(notes.warning, L"the folder is encrypted (EFS): the test file's writes go through encryption");
    RemoveFake();
}

TEST(DeviceShare, EachDirectionCountsItsOwnBytes) {
    const DeviceCounters before = {1'000, 5'000};
    const DeviceCounters after = {1'000 + 900, 5'000 + 2'200};
    PassRecord record;
    record.bytes = 2'000;
    ConfirmPass(record, 0, before, after);
    ASSERT_TRUE(record.deviceCounted);
    EXPECT_EQ(record.deviceBytes, 900);
    EXPECT_DOUBLE_EQ(record.deviceShare, 0.45);
    record = PassRecord{};
    record.bytes = 2'000;
    ConfirmPass(record, 1, before, after);
    EXPECT_EQ(record.deviceBytes, 2'200);
    EXPECT_DOUBLE_EQ(record.deviceShare, 1.1);
    // Counters reset under the pass prove nothing.
    record = PassRecord{};
    record.bytes = 2'000;
    ConfirmPass(record, 0, after, before);
    EXPECT_FALSE(record.deviceCounted);
    EXPECT_FALSE(record.deviceError.empty());
}

// A share of 0 with neither counter moving is a device that keeps no
// counters, never a cache; one direction moving elsewhere is a real count.
TEST(DeviceShare, CountersThatStandStillAreNotKept) {
    EXPECT_EQ(CacheWarning(0.8999),
              L"the device saw 89% of the bytes of this pass: a cache answered the rest");
    const DeviceCounters still = {1'000, 5'000};
    PassRecord record;
    record.bytes = 2'000;
    ConfirmPass(record, 0, still, still);
    EXPECT_FALSE(record.deviceCounted);
    EXPECT_EQ(CountersUnavailableWarning(L"vda", record.deviceError),
              L"the device counters of vda are not available "
              L"(Neither counter moved in a pass that moved bytes: the kernel does not keep them)");
    record = PassRecord{};
    record.bytes = 2'000;
    ConfirmPass(record, 1, still, DeviceCounters{1'000, 5'000 + 4'096});
    EXPECT_TRUE(record.deviceCounted);
    record = PassRecord{};
    record.bytes = 2'000;
    ConfirmPass(record, 0, still, DeviceCounters{1'000, 5'000 + 4'096});
    EXPECT_TRUE(record.deviceCounted);
    EXPECT_EQ(record.deviceShare, 0.0);
    // Known not kept before any pass: the counters are not even read.
    StorageInfo storage;
    storage.device = L"vda";
    storage.blockDevices = {{254, 0}};
    storage.countersError = L"The kernel does not keep them: queue/iostats is 0";
    DeviceCounters counters;
    std::wstring errorText;
    EXPECT_FALSE(ReadStorageCounters(storage, counters, errorText));
    EXPECT_EQ(errorText, storage.countersError);
}

TEST(StorageWarnings, LayersBeneathAndHiddenDevices) {
    EXPECT_EQ(CacheLayerWarning(L"loop0", L"loop0", L"a loop device"), L"the device loop0 is a loop device");
    EXPECT_EQ(CacheLayerWarning(L"dm-0", L"loop0", L"a loop device"),
              L"the device dm-0 lies on loop0, a loop device");
    StorageInfo storage;
    storage.fileSystem = L"overlay";
    storage.deviceHidden = true;
    EXPECT_EQ(StorageWarnings(L"/c/", storage),
              std::vector<std::wstring>{L"the folder's file system (overlay) lies on a device this system "
                                        L"hides from it: the figures cannot be confirmed by device counters"});
    storage.deviceHidden = false;
    storage.device = L"vda";
    storage.warnings = {L"one", L"two"};
    EXPECT_EQ(StorageWarnings(L"/c/", storage), storage.warnings);
}

}  // namespace
