#include "cli/cli_storage.h"
#include "drive/disk_query.h"
#include "drive/drive_info.h"
#include "drive/folder_volume.h"
#include "platform/text.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <locale>
#include <new>
#include <string>
#include <vector>

// The drive code takes its blocks with new (std::nothrow) and must cope with
// none. Counting down to a failure here lets a test refuse the nth block; left
// at 0 it never fails, so the rest of the test program is not affected.
static int RefuseBlockAfter = 0;

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    if (RefuseBlockAfter > 0 && --RefuseBlockAfter == 0) return nullptr;
    return ::operator new[](bytes);
}

namespace {

const std::wstring VolumePath = L"\\\\.\\E:";
const std::wstring DiskPath = L"\\\\.\\PhysicalDrive2";

// What the scripted disk answers to the three storage queries.
struct DiskScript {
    int32_t deviceNumber = 2;
    uint32_t deviceType = FileDeviceDisk;
    DWORD numberError = 0;  // non-zero: the device number query fails with it
    // Where the device number query fails, as for a volume over several
    // disks: the disk of each extent.
    std::vector<uint32_t> extentDisks;
    // Non-empty: only this volume device is on the disk; any other answers 0.
    std::wstring diskVolume;
    std::vector<unsigned char> descriptor;
    DWORD descriptorReturned = 0;
    DWORD identityError = 0;
    int64_t length = 0;
    DWORD lengthError = 0;
    int64_t geometrySize = 0;  // 0: the geometry query fails
};

// A disk whose descriptor holds the texts that are not empty, at offsets 40
// and just behind the vendor; the byte count returned covers all of it.
DiskScript DiskWith(const std::string& vendor, const std::string& product, int64_t length) {
    DiskScript disk;
    const auto vendorOffset = static_cast<int32_t>(vendor.empty() ? 0 : 40);
    const auto productOffset = static_cast<int32_t>(product.empty() ? 0 : 41 + vendor.size());
    disk.descriptor.assign(64 + vendor.size() + product.size(), 0);
    std::memcpy(disk.descriptor.data() + 12, &vendorOffset, 4);
    std::memcpy(disk.descriptor.data() + 16, &productOffset, 4);
    std::memcpy(disk.descriptor.data() + 40, vendor.data(), vendor.size());
    std::memcpy(disk.descriptor.data() + 41 + vendor.size(), product.data(), product.size());
    disk.descriptorReturned = static_cast<DWORD>(disk.descriptor.size());
    disk.length = length;
    return disk;
}

// Whether a handle on path is open with that access and share mode 3, to
// prove which handles a query was sent with.
bool HandleOpenWith(const std::wstring& path, DWORD access) {
    for (const auto& [handle, record] : Fake().handles) {
        if (record.path == path && record.access == access &&
            record.share == (FILE_SHARE_READ | FILE_SHARE_WRITE)) {
            return true;
        }
    }
    return false;
}

BOOL Answer(const DiskScript& disk, const std::wstring& path, DWORD code, const void* input,
            DWORD inputBytes, void* output, DWORD outputBytes, DWORD* returned) {
    auto fail = [](DWORD error) {
        Platform.SetLastError(error);
        return FALSE;
    };
    if (code == IoctlStorageGetDeviceNumber) {
        EXPECT_NE(path, DiskPath);
        EXPECT_TRUE(HandleOpenWith(path, 0));
        EXPECT_EQ(input, nullptr);
        EXPECT_EQ(inputBytes, 0u);
        EXPECT_EQ(outputBytes, 12u);
        if (disk.numberError != 0) return fail(disk.numberError);
        const int32_t number = disk.diskVolume.empty() || disk.diskVolume == path ? disk.deviceNumber : 0;
        const int32_t words[3] = {static_cast<int32_t>(disk.deviceType), number, 5};
        std::memcpy(output, words, sizeof words);
        *returned = sizeof words;
        return TRUE;
    }
    if (code == IoctlVolumeGetVolumeDiskExtents) {
        EXPECT_NE(path, DiskPath);
        return AnswerVolumeExtents(disk.extentDisks, output, outputBytes, returned);
    }
    if (code == IoctlStorageQueryProperty) {
        EXPECT_EQ(path, DiskPath);
        EXPECT_TRUE(HandleOpenWith(path, 0));
        EXPECT_EQ(inputBytes, 12u);
        EXPECT_EQ(std::vector<char>(static_cast<const char*>(input),
                                    static_cast<const char*>(input) + 12),
                  std::vector<char>(12, 0));
        EXPECT_EQ(outputBytes, 4096u);
        if (disk.identityError != 0) return fail(disk.identityError);
        std::memcpy(output, disk.descriptor.data(), disk.descriptor.size());
        *returned = disk.descriptorReturned;
        return TRUE;
    }
    if (code == IoctlDiskGetLengthInfo) {
        EXPECT_EQ(path, DiskPath);
        // Both handles are open at once: the identity one and the read one.
        EXPECT_TRUE(HandleOpenWith(path, 0));
        EXPECT_TRUE(HandleOpenWith(path, GENERIC_READ));
        EXPECT_EQ(input, nullptr);
        EXPECT_EQ(inputBytes, 0u);
        EXPECT_EQ(outputBytes, 8u);
        if (disk.lengthError != 0) return fail(disk.lengthError);
        std::memcpy(output, &disk.length, 8);
        *returned = 8;
        return TRUE;
    }
    if (code == 0x700A0) {  // IOCTL_DISK_GET_DRIVE_GEOMETRY_EX
        EXPECT_EQ(path, DiskPath);
        EXPECT_GE(outputBytes, 32u);
        if (disk.geometrySize == 0) return fail(ERROR_INVALID_FUNCTION);
        std::memset(output, 0, 32);
        std::memcpy(static_cast<char*>(output) + 24, &disk.geometrySize, 8);
        *returned = 32;
        return TRUE;
    }
    ADD_FAILURE() << "unexpected control code " << code;
    return fail(ERROR_INVALID_PARAMETER);
}

// The fake's log with the resolved paths of opens left out.
std::vector<std::string> CallsLogged() {
    std::vector<std::string> calls;
    for (const std::string& line : Fake().log) {
        calls.push_back(line.rfind("CreateFileW ", 0) == 0 ? "CreateFileW" : line);
    }
    return calls;
}

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        Fake().devices = {VolumePath, DiskPath};
        Fake().moduleFileName = L"C:\\Tools\\corvasta.exe";
        DriveInfo = DriveInfoRecord();
    }
    void TearDown() override {
        ExpectNothingLeftOpen();
        RemoveFake();
    }
    void Script(const DiskScript& disk) {
        script = disk;
        Fake().deviceControl = [this](const std::wstring& path, DWORD code, const void* input,
                                      DWORD inputBytes, void* output, DWORD outputBytes,
                                      DWORD* returned) {
            return Answer(script, path, code, input, inputBytes, output, outputBytes, returned);
        };
    }
    DiskIdentity Query(const DiskScript& disk, bool expected) {
        Script(disk);
        DiskIdentity identity;
        EXPECT_EQ(QueryDiskIdentity(2, identity), expected);
        EXPECT_EQ(identity.diskNumber, 2);
        return identity;
    }
    void ExpectUnknown() {
        EXPECT_EQ(DriveInfo.manufacturer, L"Unknown");
        EXPECT_EQ(DriveInfo.model, L"Unknown");
        EXPECT_EQ(DriveInfo.capacityText, L"Unknown");
        EXPECT_EQ(DriveInfo.programFolder, L"C:\\Tools\\");
    }
    DiskScript script;
};

TEST(FormatCapacityTest, GivesEveryRowOfTheTable) {
    EXPECT_EQ(FormatCapacity(0), L"Unknown");
    EXPECT_EQ(FormatCapacity(-5), L"Unknown");
    EXPECT_EQ(FormatCapacity(274'877'906'944), L"274.88 GB (256.00 GiB)");
    EXPECT_EQ(FormatCapacity(500'107'862'016), L"500.11 GB (465.76 GiB)");
    EXPECT_EQ(FormatCapacity(999'999'999'999), L"1000.00 GB (931.32 GiB)");
    EXPECT_EQ(FormatCapacity(1'000'000'000'000), L"1.00 TB (0.91 TiB)");
    EXPECT_EQ(FormatCapacity(1'099'511'627'776), L"1.10 TB (1.00 TiB)");
    EXPECT_EQ(FormatCapacity(2'000'398'934'016), L"2.00 TB (1.82 TiB)");
    EXPECT_EQ(FormatCapacity(1'000'000'000'000'000), L"1000.00 TB (909.49 TiB)");
}

// A comma-decimal user locale must not reach the texts.
TEST(FormatCapacityTest, KeepsThePointInACommaLocale) {
    struct CommaDecimals : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new CommaDecimals));
    const std::string previousC = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) break;
    }
    const std::wstring text = FormatCapacity(500'107'862'016);
    std::setlocale(LC_ALL, previousC.c_str());
    std::locale::global(previous);
    EXPECT_EQ(text, L"500.11 GB (465.76 GiB)");
}

// Offsets that point at nothing give nothing, even where the device claims
// more bytes than the buffer holds; a text ends at its zero or at the end of
// the buffer, and loses its spaces but not its tabs or inner spacing.
TEST_F(DriveTest, DescriptorTextReadsOnlyWhatTheBufferHolds) {
    std::vector<unsigned char> buffer(DescriptorBufferBytes, 'B');
    std::memcpy(buffer.data() + 20, "Disk\0More", 9);
    std::memcpy(buffer.data() + 40, "   \tFast  Disk\t  \0", 18);
    std::memcpy(buffer.data() + 60, "      \0", 7);
    struct Case {
        int32_t count;
        int32_t offset;
        std::wstring text;
    };
    const Case cases[] = {
        {100, 0, L""}, {100, -3, L""}, {100, 100, L""}, {100, 101, L""}, {-1, 10, L""},
        {0x7FFFFFFF, DescriptorBufferBytes, L""}, {0x7FFFFFFF, 0x7FFFFFF0, L""},
        {4096, 20, L"Disk"}, {0x7FFFFFFF, 4000, std::wstring(96, L'B')},
        {80, 40, L"\tFast  Disk\t"}, {80, 60, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " " + std::to_string(c.offset));
        EXPECT_EQ(DescriptorText(buffer.data(), c.count, c.offset), c.text);
    }
}

TEST_F(DriveTest, IdentityTextsAreTidiedWithBothHandlesOpenForTheLength) {
    struct Case {
        const char* vendor;
        const char* product;
        std::wstring tidyVendor;
        std::wstring tidyProduct;
    };
    const Case cases[] = {
        {"", "    Fast Disk 9000  ", L"Fast", L"Fast Disk 9000"},  // first word of the product
        {"", "Spinner", L"Spinner", L"Spinner"},
        {"ACME    ", "Big  Disk", L"ACME", L"Big  Disk"},
    };
    // The length handle is opened while the identity one is still open.
    const std::vector<std::string> calls = {
        "CreateFileW", "DeviceIoControl \\\\.\\PhysicalDrive2 2954240",
        "CreateFileW", "DeviceIoControl \\\\.\\PhysicalDrive2 475228",
        "CloseHandle device \\\\.\\PhysicalDrive2", "CloseHandle device \\\\.\\PhysicalDrive2"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.product);
        Fake().log.clear();
        const DiskIdentity identity = Query(DiskWith(c.vendor, c.product, 512), true);
        EXPECT_EQ(identity.vendor, c.tidyVendor);
        EXPECT_EQ(identity.product, c.tidyProduct);
        EXPECT_EQ(identity.capacityBytes, 512);
        EXPECT_EQ(identity.errorText, L"");
        EXPECT_EQ(CallsLogged(), calls);
    }
}

TEST_F(DriveTest, OffsetsAtTheByteCountGiveNotReported) {
    DiskScript disk = DiskWith("ACME", "Disk", 4096);
    disk.descriptorReturned = 45;  // the product starts at 45
    const DiskIdentity identity = Query(disk, true);
    EXPECT_EQ(identity.vendor, L"ACME");
    EXPECT_EQ(identity.product, L"Not reported");
}

TEST_F(DriveTest, IdentityFailingWhileTheLengthWorks) {
    DiskScript disk = DiskWith("ACME", "Disk", 1'000'000);
    disk.identityError = ERROR_NOT_SUPPORTED;
    const DiskIdentity identity = Query(disk, true);
    EXPECT_EQ(identity.vendor, L"Not reported");
    EXPECT_EQ(identity.product, L"Not reported");
    EXPECT_EQ(identity.capacityBytes, 1'000'000);
    EXPECT_EQ(identity.errorText, L"Unable to read disk identification. Windows error: 50");
}

TEST_F(DriveTest, BothQueriesFailingKeepsTheFirstText) {
    DiskScript disk = DiskWith("ACME", "Disk", 9);
    disk.identityError = ERROR_NOT_SUPPORTED;
    disk.lengthError = ERROR_IO_DEVICE;
    const DiskIdentity identity = Query(disk, false);
    EXPECT_EQ(identity.vendor, L"Not reported");
    EXPECT_EQ(identity.product, L"Not reported");
    EXPECT_EQ(identity.capacityBytes, 0);
    EXPECT_EQ(identity.errorText, L"Unable to read disk identification. Windows error: 50");
}

TEST_F(DriveTest, CapacityFailuresAreTextsOnlyWhenNothingCameFirst) {
    DiskScript disk = DiskWith("ACME", "Disk", 9);
    disk.lengthError = ERROR_IO_DEVICE;
    DiskIdentity identity = Query(disk, true);
    EXPECT_EQ(identity.errorText, L"Unable to read physical disk capacity. Windows error: 1117");

    FailCall("CreateFileW", ERROR_ACCESS_DENIED, 1);
    identity = Query(DiskWith("ACME", "Disk", 9), true);
    EXPECT_EQ(identity.capacityBytes, 0);
    EXPECT_EQ(identity.errorText,
              L"Unable to open the physical disk for capacity reading. Windows error: 5");

    disk.identityError = ERROR_NOT_SUPPORTED;
    FailCall("CreateFileW", ERROR_ACCESS_DENIED, 1);
    identity = Query(disk, false);
    EXPECT_EQ(identity.errorText, L"Unable to read disk identification. Windows error: 50");
}

// Without administrator rights (the console, not elevated) the disk does not
// open for reading, so IOCTL_DISK_GET_LENGTH_INFO, which needs GENERIC_READ,
// cannot be asked. IOCTL_DISK_GET_DRIVE_GEOMETRY_EX is FILE_ANY_ACCESS: on
// the identity handle, opened with no access right, its DISK_GEOMETRY_EX
// gives DiskSize, the disk's size, where the volume's would be smaller.
TEST_F(DriveTest, WithoutTheRightToReadTheDiskItsGeometryGivesTheSize) {
    DiskScript disk = DiskWith("ACME", "Disk", 0);
    disk.geometrySize = 512'110'190'592;
    Script(disk);
    Fake().volumeTotalBytes[L"E:\\"] = 274'877'906'944;
    FailCall("CreateFileW", ERROR_ACCESS_DENIED, 3);  // folder, volume, disk: then the read open
    EXPECT_TRUE(GatherDriveInfo(L"E:\\"));
    EXPECT_EQ(DriveInfo.capacityText, L"512.11 GB (476.94 GiB)");
    EXPECT_EQ(Fake().callCounts["DeviceIoControl"], 3);
}

TEST_F(DriveTest, IdentityHandleFailingSkipsTheTidying) {
    FailCall("CreateFileW", ERROR_FILE_NOT_FOUND);
    const DiskIdentity identity = Query(DiskWith("ACME", "Disk", 9), false);
    EXPECT_EQ(identity.vendor, L"");
    EXPECT_EQ(identity.product, L"");
    EXPECT_EQ(identity.errorText, L"Unable to open \\\\.\\PhysicalDrive2. Windows error: 2");
    EXPECT_EQ(Fake().callCounts["DeviceIoControl"], 0);
}

TEST_F(DriveTest, MissingBlocksEndTheQueryWithEverythingReleased) {
    RefuseBlockAfter = 1;
    DiskIdentity identity = Query(DiskWith("ACME", "Disk", 9), false);
    EXPECT_EQ(identity.errorText, L"Unable to allocate memory.");
    EXPECT_EQ(identity.product, L"");

    RefuseBlockAfter = 2;
    identity = Query(DiskWith("ACME", "Disk", 9), false);
    EXPECT_EQ(identity.errorText, L"Unable to allocate query memory.");
    EXPECT_EQ(identity.product, L"");

    // Without the length block the capacity is simply not read.
    RefuseBlockAfter = 3;
    identity = Query(DiskWith("ACME", "Disk", 9), true);
    EXPECT_EQ(identity.errorText, L"");
    EXPECT_EQ(identity.product, L"Disk");
    EXPECT_EQ(identity.capacityBytes, 0);
}

TEST_F(DriveTest, ResolvesTheDisksOfAVolumeAndWritesOnlyTheTextOnFailure) {
    DiskScript disk;
    disk.deviceNumber = -1;  // widened with its sign
    Script(disk);
    std::vector<int64_t> disks;
    std::wstring error;
    EXPECT_TRUE(ResolveVolumeDisks(L"E:", disks, error));
    EXPECT_EQ(disks, std::vector<int64_t>{-1});
    EXPECT_EQ(error, L"");

    // Over three extents on two disks: each disk once, after a second ask.
    script.numberError = ERROR_INVALID_FUNCTION;
    script.extentDisks = {3, 1, 3};
    disks.clear();
    EXPECT_TRUE(ResolveVolumeDisks(L"E:", disks, error));
    EXPECT_EQ(disks, (std::vector<int64_t>{3, 1}));

    script.extentDisks.clear();
    disks.clear();
    EXPECT_FALSE(ResolveVolumeDisks(L"E:", disks, error));
    EXPECT_TRUE(disks.empty());
    EXPECT_EQ(error, L"Unable to identify the physical disk. Windows error: 1");

    // An optical drive has a device number, but it is no PhysicalDrive's.
    script.numberError = 0;
    script.deviceType = 2;  // FILE_DEVICE_CD_ROM
    EXPECT_FALSE(ResolveVolumeDisks(L"E:", disks, error));
    EXPECT_TRUE(disks.empty());
    EXPECT_EQ(error, L"The volume E: is not on a disk");

    // Not upper-cased here, and no volume answers to it.
    EXPECT_FALSE(ResolveVolumeDisks(L"e:", disks, error));
    EXPECT_EQ(error.rfind(L"Unable to open volume e:. Windows error: ", 0), 0u);
}

TEST_F(DriveTest, DriveDesignatorTakesTheLetterAndColonOfAFolder) {
    EXPECT_EQ(DriveDesignatorOf(L"  d:\\bench\\"), L"D:");
    EXPECT_EQ(DriveDesignatorOf(L"C:"), L"C:");
    EXPECT_EQ(DriveDesignatorOf(L"7:\\"), L"7:");  // the letter is not checked
    EXPECT_EQ(DriveDesignatorOf(L"\\\\server\\share\\"), L"");
    EXPECT_EQ(DriveDesignatorOf(L"c"), L"");
    EXPECT_EQ(DriveDesignatorOf(L" c "), L"");
    EXPECT_EQ(DriveDesignatorOf(L""), L"");
    EXPECT_EQ(DriveDesignatorOf(L"/home/bench/"), L"");
}

TEST_F(DriveTest, GathersTheDiskOfTheFolderWithAnUpperCaseDesignator) {
    Script(DiskWith("ACME", "Fast  Disk", 500'107'862'016));
    Fake().moduleFileName = L"C:\\Tools\\corvasta.exe";
    EXPECT_TRUE(GatherDriveInfo(L" e:\\bench\\"));
    EXPECT_EQ(DriveInfo.manufacturer, L"ACME");
    EXPECT_EQ(DriveInfo.model, L"Fast  Disk");
    EXPECT_EQ(DriveInfo.capacityText, L"500.11 GB (465.76 GiB)");
    EXPECT_EQ(DriveInfo.programFolder, L"C:\\Tools\\");
}

// C:\Mount\Data is a volume of its own, on PhysicalDrive2; the volume of the
// drive letter C: is on another disk. Windows gives the folder's final path
// on the GUID path of the volume it really lies on.
TEST_F(DriveTest, AFolderBelongsToTheDiskOfItsOwnVolume) {
    const std::wstring mounted = L"\\\\?\\Volume{5e1f0a2c-0000-0000-0000-100000000000}";
    Fake().volumeMounts = {{L"C:", L"\\\\?\\Volume{c0c0c0c0-0000-0000-0000-100000000000}"},
                           {L"C:\\Mount\\Data", mounted}};
    Fake().devices = {L"\\\\.\\C:", Fake().volumeMounts[L"C:"], mounted, DiskPath};
    AddFakeFolder(L"C:\\Mount\\Data");
    AddFakeLink(L"C:\\Links\\Data", L"C:\\Mount\\Data");
    DiskScript disk = DiskWith("ACME", "Mounted Disk", 0);
    disk.diskVolume = mounted;
    Script(disk);
    Fake().volumeTotalBytes[mounted + L"\\"] = 274'877'906'944;
    // A final path longer than MAX_PATH is asked for again with room for it
    // (the folder itself opens as on a system with the long-path setting).
    Fake().longPathsLimited = false;
    const std::wstring deep = L"C:\\Mount\\Data\\" + std::wstring(300, L'd');
    AddFakeFolder(deep);
    for (const std::wstring& folder : {std::wstring(L"C:\\Mount\\Data\\"),
                                       std::wstring(L"C:\\Links\\Data\\"), deep + L"\\"}) {
        DriveInfo = DriveInfoRecord();
        EXPECT_TRUE(GatherDriveInfo(folder)) << Utf8FromWide(folder);
        EXPECT_EQ(DriveInfo.model, L"Mounted Disk");
        EXPECT_EQ(DriveInfo.capacityText, L"274.88 GB (256.00 GiB)");
    }
    // Under Wine there is no final path: the drive letter's volume is asked.
    Fake().volumeMounts.clear();
    EXPECT_FALSE(GatherDriveInfo(L"C:\\Mount\\Data\\"));
    EXPECT_NE(Fake().opens.back().path.find(L"\\\\.\\PhysicalDrive0"), std::wstring::npos);
}

// A folder on another machine, reached through a share's path or through a
// directory link on C: to it. GetFinalPathNameByHandleW with VOLUME_NAME_GUID
// fails for it (a share has no volume GUID); with VOLUME_NAME_NT it names the
// network redirector, "\Device\Mup\server\share\...". Such a folder has
// no disk here: no disk texts, no counters, never those of C:'s disk; the
// file system is the share's, from GetVolumeInformationByHandleW on the
// folder's own handle (GetVolumeInformationW on C:\ would name C:'s).
TEST_F(DriveTest, AFolderOnAnotherMachineHasNoDiskHere) {
    const std::wstring local = L"\\\\?\\Volume{c0c0c0c0-0000-0000-0000-100000000000}";
    Fake().volumeMounts = {{L"C:", local}};
    Fake().devices = {L"\\\\.\\C:", local, DiskPath};
    Fake().fileSystems = {{local + L"\\", L"NTFS"}, {L"\\\\server\\share\\", L"exFAT"}};
    Script(DiskWith("ACME", "Local Disk", 500'107'862'016));
    AddFakeFolder(L"\\\\server\\share\\bench");
    AddFakeLink(L"C:\\Links\\Remote", L"\\\\server\\share\\bench");
    std::vector<std::wstring> folders = {L"C:\\Links\\Remote\\"};
    // The fake of the Linux build takes a share's path for a relative one.
    if (PathSeparator == L'\\') folders.push_back(L"\\\\server\\share\\bench\\");
    for (const std::wstring& folder : folders) {
        SCOPED_TRACE(Utf8FromWide(folder));
        Fake().opens.clear();
        DriveInfo = DriveInfoRecord();
        EXPECT_FALSE(GatherDriveInfo(folder));
        ExpectUnknown();
        const StorageInfo storage = ProbeStorage(folder);
        EXPECT_EQ(storage.fileSystem, L"exFAT");
        EXPECT_EQ(storage.device, L"");
        EXPECT_TRUE(storage.diskNumbers.empty());
        EXPECT_EQ(StorageWarnings(folder, storage), std::vector<std::wstring>{NoBlockDeviceWarning(L"exFAT")});
        for (const FakeOpen& open : Fake().opens) {
            EXPECT_EQ(open.path.find(L"PhysicalDrive"), std::wstring::npos);
            EXPECT_NE(open.path, L"\\\\.\\C:");
            EXPECT_NE(open.path, local);
        }
    }
}

TEST_F(DriveTest, FallsBackToTheVolumeSizeWithoutADiskLength) {
    DiskScript disk = DiskWith("ACME", "Disk", 0);
    disk.lengthError = ERROR_NOT_SUPPORTED;
    Script(disk);
    Fake().volumeTotalBytes[L"E:\\"] = 274'877'906'944;
    EXPECT_TRUE(GatherDriveInfo(L"E:\\"));
    EXPECT_EQ(DriveInfo.capacityText, L"274.88 GB (256.00 GiB)");

    // Neither the disk nor the volume: a real identity beside "Unknown".
    Fake().volumeTotalBytes.clear();
    EXPECT_TRUE(GatherDriveInfo(L"E:\\"));
    EXPECT_EQ(DriveInfo.manufacturer, L"ACME");
    EXPECT_EQ(DriveInfo.capacityText, L"Unknown");
}

TEST_F(DriveTest, LengthWithoutIdentityTextsShowsNotReported) {
    Script(DiskWith("", "", 1'099'511'627'776));
    EXPECT_TRUE(GatherDriveInfo(L"E:\\"));
    EXPECT_EQ(DriveInfo.manufacturer, L"Not reported");
    EXPECT_EQ(DriveInfo.model, L"Not reported");
    EXPECT_EQ(DriveInfo.capacityText, L"1.10 TB (1.00 TiB)");
}

TEST_F(DriveTest, StaysUnknownWhereTheGatheringStops) {
    Fake().volumeTotalBytes[L"E:\\"] = 274'877'906'944;
    Script(DiskWith("ACME", "", 0));  // neither product nor length
    EXPECT_FALSE(GatherDriveInfo(L"E:\\"));
    ExpectUnknown();

    EXPECT_FALSE(GatherDriveInfo(L"\\\\server\\share\\"));
    ExpectUnknown();

    Script(DiskWith("ACME", "Disk", 9));
    script.numberError = ERROR_NOT_SUPPORTED;
    EXPECT_FALSE(GatherDriveInfo(L"E:\\"));
    ExpectUnknown();

    // A volume over two disks, then an optical drive whose number 2 is no
    // PhysicalDrive2's: neither opens a disk.
    Fake().opens.clear();
    script.numberError = ERROR_INVALID_FUNCTION;
    script.extentDisks = {2, 3};
    EXPECT_FALSE(GatherDriveInfo(L"E:\\"));
    ExpectUnknown();
    script.numberError = 0;
    script.deviceType = 2;  // FILE_DEVICE_CD_ROM
    EXPECT_FALSE(GatherDriveInfo(L"E:\\"));
    ExpectUnknown();
    for (const FakeOpen& open : Fake().opens) EXPECT_EQ(open.path.find(L"PhysicalDrive"), std::wstring::npos);

    script.deviceType = FileDeviceDisk;
    FailCall("CreateFileW", ERROR_ACCESS_DENIED, 2);  // the disk, after the folder and volume
    script.numberError = 0;
    EXPECT_FALSE(GatherDriveInfo(L"E:\\"));
    ExpectUnknown();
}

TEST_F(DriveTest, ProgramFolderOfAnyLengthKeepsEitherSeparator) {
    Fake().moduleFileName = L"/opt/corvasta/corvasta-cli";
    EXPECT_FALSE(GatherDriveInfo(L"/home/bench/"));
    EXPECT_EQ(DriveInfo.programFolder, L"/opt/corvasta/");
    Fake().moduleFileName = L"corvasta.exe";
    EXPECT_FALSE(GatherDriveInfo(L"\\\\server\\share\\"));
    EXPECT_EQ(DriveInfo.programFolder, L"");
    const std::wstring longFolder = L"C:\\" + std::wstring(600, L'p') + L"\\";
    Fake().moduleFileName = longFolder + L"corvasta.exe";
    GatherDriveInfo(L"\\\\server\\share\\");
    EXPECT_EQ(DriveInfo.programFolder, longFolder);
}

TEST_F(DriveTest, RawDiskTextsGoThroughTheSameTidying) {
    EXPECT_TRUE(ApplyDiskTexts("0x1af4", "", 274'877'906'944));
    EXPECT_EQ(DriveInfo.manufacturer, L"0x1af4");
    EXPECT_EQ(DriveInfo.model, L"Not reported");
    EXPECT_EQ(DriveInfo.capacityText, L"274.88 GB (256.00 GiB)");

    EXPECT_TRUE(ApplyDiskTexts("", "  Fast Disk  ", 0));
    EXPECT_EQ(DriveInfo.manufacturer, L"Fast");
    EXPECT_EQ(DriveInfo.model, L"Fast Disk");
    EXPECT_EQ(DriveInfo.capacityText, L"Unknown");

    DriveInfo = DriveInfoRecord();
    DriveInfo.manufacturer = L"Unknown";
    EXPECT_FALSE(ApplyDiskTexts("ATA     ", "", 0));
    EXPECT_EQ(DriveInfo.manufacturer, L"Unknown");
    EXPECT_EQ(DriveInfo.model, L"");
}

}  // namespace
