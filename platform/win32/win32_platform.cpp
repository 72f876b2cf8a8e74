// The Win32 backend: the seam's entries are the kernel32 calls themselves.
#include "platform/platform.h"

#include <mmsystem.h>

namespace {

const PlatformCalls Win32Calls = {
    ::CreateFileW,
    ::ReadFile,
    ::WriteFile,
    ::CreateIoCompletionPort,
    ::GetQueuedCompletionStatus,
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
};

}  // namespace

PlatformCalls Platform = Win32Calls;

const PlatformCalls& NativePlatform() {
    return Win32Calls;
}

const wchar_t* IoBackendName() {
    return L"iocp";
}
