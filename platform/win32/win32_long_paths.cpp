// Every path that reaches a Win32 file call passes through here, so a folder
// of any length works whatever the system's own long-path setting.
#include "platform/win32/win32_long_paths.h"

#include "platform/text.h"

namespace {

// The table the wrappers call on: the system's, or a test's fake.
PlatformCalls Inner = {};
// Where relative paths lead instead of the current directory; empty: there.
std::wstring WorkingFolder;

std::wstring Long(const wchar_t* path) {
    if (path == nullptr) return std::wstring();
    const std::wstring text(path);
    // Only a relative path needs the current folder, and only a long one.
    const bool relative = text.size() < 2 || (text[1] != L':' && text[0] != L'\\');
    if (relative && !WorkingFolder.empty()) return ExtendedLengthPath(JoinPath(WorkingFolder, text), L"");
    return ExtendedLengthPath(text, relative ? CurrentDirectoryOf(Inner) : std::wstring());
}

// GetCurrentDirectoryW's contract: the length without the terminator, or the
// size needed with it when the buffer is too small.
DWORD WINAPI WorkingGetCurrentDirectoryW(DWORD length, wchar_t* buffer) {
    if (WorkingFolder.empty()) return Inner.GetCurrentDirectoryW(length, buffer);
    const auto size = static_cast<DWORD>(WorkingFolder.size());
    if (buffer == nullptr || length <= size) return size + 1;
    WorkingFolder.copy(buffer, size);
    buffer[size] = L'\0';
    return size;
}

// GetFullPathNameW answers a buffer that is too small with the size it
// needs, terminator included, and 0 on failure.
std::wstring FullPathOf(const std::wstring& path) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                              buffer.data(), nullptr);
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.assign(length, L'\0');
    }
    return std::wstring();
}

HANDLE WINAPI LongCreateFileW(const wchar_t* path, DWORD access, DWORD share,
                              SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                              HANDLE templateFile) {
    // A handle is no pointer into the path it was opened by.
    // cppcheck-suppress returnDanglingLifetime
    return Inner.CreateFileW(Long(path).c_str(), access, share, security, disposition, flags,
                             templateFile);
}

BOOL WINAPI LongDeleteFileW(const wchar_t* path) {
    return Inner.DeleteFileW(Long(path).c_str());
}

BOOL WINAPI LongCreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security) {
    return Inner.CreateDirectoryW(Long(path).c_str(), security);
}

BOOL WINAPI LongRemoveDirectoryW(const wchar_t* path) {
    return Inner.RemoveDirectoryW(Long(path).c_str());
}

DWORD WINAPI LongGetFileAttributesW(const wchar_t* path) {
    return Inner.GetFileAttributesW(Long(path).c_str());
}

HANDLE WINAPI LongFindFirstFileW(const wchar_t* pattern, WIN32_FIND_DATAW* found) {
    // cppcheck-suppress returnDanglingLifetime
    return Inner.FindFirstFileW(Long(pattern).c_str(), found);
}

BOOL WINAPI LongGetDiskFreeSpaceExW(const wchar_t* root, ULARGE_INTEGER* freeToCaller,
                                    ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    // No root means the current drive, which a null pointer says and an empty text does not.
    if (root == nullptr) return Inner.GetDiskFreeSpaceExW(root, freeToCaller, total, totalFree);
    return Inner.GetDiskFreeSpaceExW(Long(root).c_str(), freeToCaller, total, totalFree);
}

}  // namespace

PlatformCalls WithLongPaths(const PlatformCalls& inner) {
    Inner = inner;
    PlatformCalls calls = inner;
    calls.CreateFileW = LongCreateFileW;
    calls.DeleteFileW = LongDeleteFileW;
    calls.CreateDirectoryW = LongCreateDirectoryW;
    calls.RemoveDirectoryW = LongRemoveDirectoryW;
    calls.GetFileAttributesW = LongGetFileAttributesW;
    calls.FindFirstFileW = LongFindFirstFileW;
    calls.GetDiskFreeSpaceExW = LongGetDiskFreeSpaceExW;
    calls.GetCurrentDirectoryW = WorkingGetCurrentDirectoryW;
    return calls;
}

void SetWorkingFolder(const std::wstring& fullPath) {
    WorkingFolder = fullPath;
}

bool UseWorkingFolder(const std::wstring& folder) {
    const std::wstring full = FullPathOf(folder);
    if (full.empty()) return false;
    const DWORD attributes = Platform.GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    SetWorkingFolder(full);
    return true;
}
