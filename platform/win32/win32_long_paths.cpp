// Every path that reaches a Win32 file call passes through here, so a folder
// of any length works whatever the system's own long-path setting.
#include "platform/win32/win32_long_paths.h"

#include "platform/text.h"

namespace {

// The table the wrappers call on: the system's, or a test's fake.
PlatformCalls Inner = {};

std::wstring Long(const wchar_t* path) {
    if (path == nullptr) return std::wstring();
    const std::wstring text(path);
    // Only a relative path needs the current folder, and only a long one.
    const bool relative = text.size() < 2 || (text[1] != L':' && text[0] != L'\\');
    return ExtendedLengthPath(text, relative ? CurrentDirectoryOf(Inner) : std::wstring());
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
    return calls;
}
