// File names that are not valid UTF-8 (legal on Linux) pass through the
// wide-text seam unchanged, while reports and screens get valid UTF-8.
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

TEST(FileNameBytes, EveryByteStringComesBackUnchanged) {
    const std::string cases[] = {
        "caf\xE9",                           // Latin-1
        "\xE2\x82" "A\xF0\x9F",              // sequences cut short
        "\xC0\xAF\xE0\x80\xAF",              // overlong forms
        "\xED\xA0\x80\xED\xBF\xBF",          // surrogates written as UTF-8
        "\xF4\x90\x80\x80",                  // beyond U+10FFFF
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

TEST(FileNameBytes, ValidTextIsDecodedAndReportsShowEachEscapedByteAsAReplacement) {
    EXPECT_EQ(WideFromUtf8("\xC3\xA9\xF0\x9F\x98\x80"), L"\u00E9\U0001F600");
    const std::wstring name = WideFromUtf8("/b\xE9nch\xE2\x82/");
    EXPECT_EQ(name, std::wstring({L'/', L'b', wchar_t(0xDCE9), L'n', L'c', L'h', wchar_t(0xDCE2),
                                  wchar_t(0xDC82), L'/'}));
    EXPECT_EQ(Utf8FromWide(name), "/b\xEF\xBF\xBDnch\xEF\xBF\xBD\xEF\xBF\xBD/");
    // Any other lone surrogate is shown, and named, as U+FFFD.
    const std::wstring lone{wchar_t(0xDC10), L'x'};
    EXPECT_EQ(Utf8FromWide(lone), "\xEF\xBF\xBDx");
    EXPECT_EQ(PathBytesFromWide(lone), "\xEF\xBF\xBDx");
}
