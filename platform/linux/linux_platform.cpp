// The Linux backend's table: each entry imitates the Win32 call of its name.
#include "platform/linux/linux_port_engine.h"

namespace {

const PlatformCalls LinuxCalls = {
    linux_native::CreateFileW,
    linux_native::ReadFile,
    linux_native::WriteFile,
    linux_native::CreateIoCompletionPort,
    linux_native::GetQueuedCompletionStatus,
    linux_native::GetQueuedCompletionStatusEx,
    linux_native::GetOverlappedResult,
    linux_native::CancelIoEx,
    linux_native::SetFilePointerEx,
    linux_native::SetEndOfFile,
    linux_native::FlushFileBuffers,
    linux_native::CloseHandle,
    linux_native::DeleteFileW,
    linux_native::CreateDirectoryW,
    linux_native::RemoveDirectoryW,
    linux_native::GetFileAttributesW,
    linux_native::GetFileInformationByHandle,
    linux_native::SetFileInformationByHandle,
    linux_native::GetFileInformationByHandleEx,
    linux_native::OpenFileRelative,
    linux_native::FindFirstFileW,
    linux_native::FindNextFileW,
    linux_native::FindClose,
    linux_native::VirtualAlloc,
    linux_native::VirtualFree,
    linux_native::QueryPerformanceCounter,
    linux_native::QueryPerformanceFrequency,
    linux_native::GetTickCount,
    linux_native::Sleep,
    linux_native::timeBeginPeriod,
    linux_native::GetLocalTime,
    linux_native::GetLastError,
    linux_native::SetLastError,
    linux_native::GetCurrentDirectoryW,
    linux_native::GetModuleFileNameW,
    linux_native::DeviceIoControl,
    linux_native::GetDiskFreeSpaceExW,
    linux_native::MultiByteToWideChar,
    linux_native::CharUpperW,
    linux_native::GetFinalPathNameByHandleW,
    linux_native::GetVolumeInformationW,
    linux_native::GetVolumeInformationByHandleW,
    linux_native::CompareStringOrdinal,
    linux_native::SetFileValidData,
    linux_native::OpenProcessToken,
    linux_native::LookupPrivilegeValueW,
    linux_native::AdjustTokenPrivileges,
    linux_native::CreateThread,
    linux_native::WaitForSingleObject,
};

}  // namespace

PlatformCalls Platform = LinuxCalls;

const PlatformCalls& NativePlatform() {
    return LinuxCalls;
}

const wchar_t* IoBackendName() {
    return linux_native::Engine().name;
}
