// File names that are not valid UTF-8 (legal on Linux) pass through the
// wide-text seam unchanged, while reports and screens get valid UTF-8.
#include "engine/benchmark_run.h"
#include "platform/text.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool IsValidUtf8(const std::string& bytes) {
    for (const wchar_t c : WideFromUtf8(bytes)) {
        if (c >= 0xDC80 && c <= 0xDCFF) return false;
    }
    return true;
}

}  // namespace

TEST(FileNameBytes, EveryByteStringComesBackUnchanged) {
    const std::string cases[] = {
        "caf\xE9",                 // Latin-1
        "\x80\xBF\xFE\xFF",        // bytes that start nothing
        "\xE2\x82",                // a sequence cut by the end
        "\xE2\x82" "A\xF0\x9F",    // cut by a plain character
        "\xC0\xAF\xE0\x80\xAF",    // overlong forms
        "\xED\xA0\x80\xED\xBF\xBF",  // surrogates written as UTF-8
        "\xF4\x90\x80\x80",        // beyond U+10FFFF
        "\xC3\xA9\xE9\xF0\x9F\x98\x80\xFF",  // valid and invalid mixed
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(PathBytesFromWide(WideFromUtf8(bytes)), bytes) << testing::PrintToString(bytes);
    }
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::string bytes{static_cast<char>(first), static_cast<char>(second)};
            ASSERT_EQ(PathBytesFromWide(WideFromUtf8(bytes)), bytes) << testing::PrintToString(bytes);
        }
    }
}

TEST(FileNameBytes, ValidTextIsDecodedAndInvalidBytesAreEscapedOneByOne) {
    EXPECT_EQ(WideFromUtf8("\xC3\xA9\xF0\x9F\x98\x80"), L"\u00E9\U0001F600");
    EXPECT_EQ(WideFromUtf8("a\xE9" "b"), std::wstring({L'a', wchar_t(0xDCE9), L'b'}));
    EXPECT_EQ(WideFromUtf8("\xE2\x82" "A"), std::wstring({wchar_t(0xDCE2), wchar_t(0xDC82), L'A'}));
    // Text that never came from bytes keeps its valid characters as UTF-8.
    EXPECT_EQ(PathBytesFromWide(L"\u00E9\U0001F600/x"), "\xC3\xA9\xF0\x9F\x98\x80/x");
}

TEST(FileNameBytes, ReportsAndScreensGetValidUtf8WithReplacements) {
    const std::wstring name = WideFromUtf8("/b\xE9nch\xFF/");
    const std::string shown = Utf8FromWide(name);
    EXPECT_EQ(shown, "/b\xEF\xBF\xBDnch\xEF\xBF\xBD/");
    EXPECT_TRUE(IsValidUtf8(shown));
    // Any other lone surrogate is shown, and named, as U+FFFD too.
    const std::wstring lone{wchar_t(0xDC10), L'x'};
    EXPECT_EQ(Utf8FromWide(lone), "\xEF\xBF\xBDx");
    EXPECT_EQ(PathBytesFromWide(lone), "\xEF\xBF\xBDx");
}

// The marker holds the raw bytes of the paths, and recovery finds the same
// folder and report again in a current directory of such a name.
TEST(FileNameBytes, RecoveryFindsWhatAMarkerOfRawBytesNames) {
    InstallFake();
    // The current directory as the seam gives it: one escape for each byte.
    const std::string folderBytes = Utf8FromWide(Fake().currentDirectory) + "-\xE9t\xFF";
    Fake().currentDirectory += std::wstring{L'-', wchar_t(0xDCE9), L't', wchar_t(0xDCFF)};
    AddFakeFolder(Fake().currentDirectory);
    const std::string separator = Utf8FromWide(std::wstring(1, PathSeparator));
    const std::string temporary = folderBytes + separator + "corvastatmp0001A2F0";
    const std::string report = folderBytes + separator + "corvasta_07122026153045_SEQ1MQ8T1_1024MiB.html";
    AddFakeFile(JoinPath(WideFromUtf8(temporary), L"corvastatmp0001A2F0.tmp"), "data");
    AddFakeFile(WideFromUtf8(report), "<html");
    AddFakeFile(FakePath(RecoveryMarkerName), temporary + "\r\n" + report + "\r\n");
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(WideFromUtf8(temporary)));
    EXPECT_FALSE(FakeExists(WideFromUtf8(report)));
    EXPECT_FALSE(FakeExists(FakePath(RecoveryMarkerName)));
    ExpectNothingLeftOpen();
    RemoveFake();
}
