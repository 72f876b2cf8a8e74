#include "ui/portable/window_texts.h"

#include <gtest/gtest.h>

#include <cstdint>

#include <vector>

namespace {

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

}  // namespace

TEST(FormatSpeed, TwoDecimalsAndOneSpace) {
    EXPECT_EQ(FormatSpeed(0.0), L"0.00 ");
    EXPECT_EQ(FormatSpeed(-0.0), L"0.00 ");
    EXPECT_EQ(FormatSpeed(1234.5), L"1234.50 ");
    EXPECT_EQ(FormatSpeed(12345.678), L"12345.68 ");
    EXPECT_EQ(FormatSpeed(-1.5), L"-1.50 ");
    EXPECT_EQ(FormatSpeed(1e9), L"1000000000.00 ");
}

TEST(TestSizeMiBForIndex, TableAndDefault) {
    const int64_t expected[] = {256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
    for (int64_t index = 0; index < 9; ++index) {
        EXPECT_EQ(TestSizeMiBForIndex(index), expected[index]) << index;
    }
    EXPECT_EQ(TestSizeMiBForIndex(-1), 1024);  // no selection
    EXPECT_EQ(TestSizeMiBForIndex(9), 1024);
    EXPECT_EQ(TestSizeMiBForIndex(INT64_MIN), 1024);
}

TEST(PassCountFromText, DecimalItemsOnly) {
    EXPECT_EQ(PassCountFromText(L"1"), 1);
    EXPECT_EQ(PassCountFromText(L"7"), 7);
    EXPECT_EQ(PassCountFromText(L""), 0);
    EXPECT_EQ(PassCountFromText(L"4 "), 0);
    EXPECT_EQ(PassCountFromText(L"-3"), 0);
}

TEST(MessageTexts, NineLinesJoinedByCrLf) {
    const std::wstring texts[] = {FirstStartHelpText(), HelpText(), AboutText()};
    for (const std::wstring& text : texts) {
        const auto lines = SplitLines(text);
        ASSERT_EQ(lines.size(), 9u);
        EXPECT_EQ(lines[0], L"Corvasta V1.1.0 x64");
        EXPECT_EQ(lines[1], L"");
        EXPECT_EQ(lines[5], L"");
        EXPECT_EQ(lines[6], L"");
        EXPECT_EQ(lines[7], L"Corvasta V1.1.0 x64");
        EXPECT_EQ(lines[8], L"");  // the text ends in CR LF after line 8, none after line 9
        EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
        EXPECT_EQ(text.find(L"\n\n"), std::wstring::npos);
    }
}

TEST(MessageTexts, HelpWordingAndAboutLines) {
    const auto first = SplitLines(FirstStartHelpText());
    const auto help = SplitLines(HelpText());
    EXPECT_EQ(first[2], L"No installation is required. Simply copy the entire Corvasta V1.1.0 x64 folder");
    EXPECT_EQ(first[3], L"to the location where you want to run the benchmark.");
    EXPECT_EQ(help[3], L"to the location where you want to run the drive benchmark.");
    EXPECT_EQ(first[4], L"The benchmark will be executed within that folder.");
    for (size_t i = 0; i < first.size(); ++i) {
        if (i != 3) {
            EXPECT_EQ(first[i], help[i]) << i;
        }
    }
    const auto about = SplitLines(AboutText());
    EXPECT_EQ(about[2], L"Corvasta V1.1.0 x64:");
    EXPECT_EQ(about[3], L"Measures the sequential read/write performance of any selected folder");
    EXPECT_EQ(about[4],
              L"whether it is located on a local drive,external device,network share Or virtual storage.");
}
