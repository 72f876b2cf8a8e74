#include "drive/drive_info.h"
#include "platform/platform.h"
#include "platform/text.h"
#ifndef _WIN32
#include "platform/linux/linux_drive.h"
#endif

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::wstring WorkingFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = Platform.GetCurrentDirectoryW(MAX_PATH, buffer);
    std::wstring folder(buffer, length < MAX_PATH ? length : 0);
    if (!folder.empty() && folder.back() != PathSeparator) folder += PathSeparator;
    return folder;
}

void Show(const char* what) {
    std::printf("%s: %s | %s | %s | %s\n", what, Utf8FromWide(DriveInfo.manufacturer).c_str(),
                Utf8FromWide(DriveInfo.model).c_str(), Utf8FromWide(DriveInfo.capacityText).c_str(),
                Utf8FromWide(DriveInfo.programFolder).c_str());
}

// Either one gathering set all three texts, or all three are the fallback.
void ExpectConsistentTexts(bool found) {
    if (found) {
        EXPECT_NE(DriveInfo.manufacturer, L"Unknown");
        EXPECT_NE(DriveInfo.model, L"Unknown");
        EXPECT_FALSE(DriveInfo.manufacturer.empty());
        EXPECT_FALSE(DriveInfo.model.empty());
    } else {
        EXPECT_EQ(DriveInfo.manufacturer, L"Unknown");
        EXPECT_EQ(DriveInfo.model, L"Unknown");
        EXPECT_EQ(DriveInfo.capacityText, L"Unknown");
    }
    EXPECT_FALSE(DriveInfo.programFolder.empty());
    EXPECT_TRUE(IsPathSeparator(DriveInfo.programFolder.back()) ||
                DriveInfo.programFolder.back() == L'\\');
}

TEST(DriveRealTest, GatheringTheWorkingFolderGivesTextsOrTheFallbacks) {
    const std::wstring folder = WorkingFolder();
    ASSERT_FALSE(folder.empty());
    const bool found = GatherDriveInfo(folder);
    Show("gathered");
    ExpectConsistentTexts(found);
#ifndef _WIN32
    // A Linux path has no drive designator; sysfs gives the texts instead.
    EXPECT_FALSE(found);
    const bool fromSysfs = GatherLinuxDriveInfo(folder);
    Show("sysfs");
    ExpectConsistentTexts(fromSysfs);
#endif
}

}  // namespace
