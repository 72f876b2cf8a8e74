// The Win32 backend: the seam's entries are the kernel32 calls themselves.
#include "platform/platform.h"

#include "platform/win32/win32_long_paths.h"
#include "platform/win32/win32_relative.h"
#include "platform/win32/win32_system_dlls.h"

#include <mmsystem.h>

namespace {

// winmm is not one of the system's known DLLs: imported at load time it
// would be looked for beside the program first.
UINT WINAPI SystemTimeBeginPeriod(UINT milliseconds) {
    using Call = UINT(WINAPI*)(UINT);
    static const auto call = SystemProcedureAs<Call>(L"winmm.dll", "timeBeginPeriod");
    return call ? call(milliseconds) : TIMERR_NOCANDO;
}

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
    SystemTimeBeginPeriod,
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
    ::GetVolumeInformationByHandleW,
    ::CompareStringOrdinal,
    ::SetFileValidData,
    ::OpenProcessToken,
    ::LookupPrivilegeValueW,
    ::AdjustTokenPrivileges,
    ::CreateThread,
    ::WaitForSingleObject,
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
