#include "engine/run_names.h"

#include "platform/text.h"


std::wstring RunTag(DWORD tickCount) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring tag(8, L'0');
    for (int i = 7; i >= 0; --i) {
        tag[static_cast<size_t>(i)] = digits[tickCount & 0xF];
        tickCount >>= 4;
    }
    return tag;
}

std::wstring TemporaryFolderPath(const std::wstring& folder, const std::wstring& tag) {
    return JoinPath(folder, TemporaryPrefix + tag);
}

std::wstring TestFilePath(const std::wstring& temporaryFolder, const std::wstring& tag) {
    return JoinPath(temporaryFolder, TemporaryPrefix + tag + L".tmp");
}

std::wstring SizeText(int64_t testSizeMiB) {
    return DecimalText(testSizeMiB) + L"MiB";
}

std::wstring CurrentDirectory() {
    return CurrentDirectoryOf(Platform);
}

std::wstring BenchmarkFolder() {
    // Joined to nothing it would read as the root of the file system.
    const std::wstring current = CurrentDirectory();
    return current.empty() ? current : JoinPath(current, L"");
}
