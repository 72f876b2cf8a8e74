// The Win32 backend: the seam's entries are the kernel32 calls themselves.
#include "platform/platform.h"

#include "platform/win32/win32_long_paths.h"
#include "platform/win32/win32_relative.h"

#include <mmsystem.h>

namespace {

const PlatformCalls Win32Calls = {
    ::CreateFileW,
    ::ReadFile,
    ::WriteFile,
    ::CreateIoCompletionPort,
    ::GetQueuedCompletionStatus,
    ::GetQueuedCompletionStatusEx,
    ::GetOverlappedResult,
    ::CancelIoEx,
    ::SetFilePointerEx,
    ::SetEndOfFile,
    ::FlushFileBuffers,
    ::CloseHandle,
    ::DeleteFileW,
    ::CreateDirectoryW,
    ::RemoveDirectoryW,
    ::GetFileAttributesW,
    ::GetFileInformationByHandle,
    ::SetFileInformationByHandle,
    ::GetFileInformationByHandleEx,
    OpenFileRelative,
    ::FindFirstFileW,
    ::FindNextFileW,
    ::FindClose,
    ::VirtualAlloc,
    ::VirtualFree,
    ::QueryPerformanceCounter,
    ::QueryPerformanceFrequency,
    ::GetTickCount,
    ::Sleep,
    ::timeBeginPeriod,
    ::GetLocalTime,
    ::GetLastError,
    ::SetLastError,
    ::GetCurrentDirectoryW,
    ::GetModuleFileNameW,
    ::DeviceIoControl,
    ::GetDiskFreeSpaceExW,
    ::MultiByteToWideChar,
    ::CharUpperW,
    ::GetFinalPathNameByHandleW,
    ::GetVolumeInformationW,
    ::CompareStringOrdinal,
};

}  // namespace

// Built again on every call, so the wrappers go back to the system's calls
// after a test has wrapped its fake.
const PlatformCalls& NativePlatform() {
    static PlatformCalls calls;
    calls = WithLongPaths(Win32Calls);
    return calls;
}

PlatformCalls Platform = NativePlatform();

const wchar_t* IoBackendName() {
    return L"iocp";
}
