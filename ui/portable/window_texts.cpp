#include "ui/portable/window_texts.h"

#include "platform/text.h"

#include <initializer_list>

namespace {

std::wstring JoinLines(std::initializer_list<const wchar_t*> lines) {
    std::wstring text;
    bool first = true;
    for (const wchar_t* line : lines) {
        if (!first) text += L"\r\n";
        text += line;
        first = false;
    }
    return text;
}

std::wstring HelpWith(const wchar_t* fourthLine) {
    return JoinLines({L"Corvasta V1.1.0 x64", L"",
                      L"No installation is required. Simply copy the entire Corvasta V1.1.0 x64 folder",
                      fourthLine, L"The benchmark will be executed within that folder.", L"", L"",
                      L"Corvasta V1.1.0 x64", L""});
}

}  // namespace

std::wstring FormatSpeed(double mbps) {
    return FormatTwoDecimals(mbps) + L" ";
}

int64_t TestSizeMiBForIndex(int64_t index) {
    static const int64_t sizes[] = {256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
    constexpr int64_t count = sizeof(sizes) / sizeof(sizes[0]);
    return index >= 0 && index < count ? sizes[index] : 1024;
}

int64_t PassCountFromText(const std::wstring& text) {
    if (text.empty() || text.size() > 9) return 0;
    int64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return 0;
        value = value * 10 + (c - L'0');
    }
    return value;
}

std::wstring FirstStartHelpText() {
    return HelpWith(L"to the location where you want to run the benchmark.");
}

std::wstring HelpText() {
    return HelpWith(L"to the location where you want to run the drive benchmark.");
}

std::wstring AboutText() {
    return JoinLines({L"Corvasta V1.1.0 x64", L"", L"Corvasta V1.1.0 x64:",
                      L"Measures the sequential read/write performance of any selected folder",
                      L"whether it is located on a local drive,external device,network share Or virtual storage.",
                      L"", L"", L"Corvasta V1.1.0 x64", L""});
}
