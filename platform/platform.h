// The operating-system seam: every platform call the portable code makes goes
// through the one table `Platform`. The entries have the shape of the Win32
// calls (same arguments, constants and last-error codes), so on Windows the
// table is a plain pass-through and elsewhere a backend imitates Win32.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// The SDK level we build for leaves out what Windows 10 1607 added to the
// by-handle calls; the values are Windows' own.
#if defined(__MINGW32__) && _WIN32_WINNT < 0x0A000002
constexpr FILE_INFO_BY_HANDLE_CLASS FileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
#endif
#ifndef FILE_DISPOSITION_FLAG_DELETE
struct FILE_DISPOSITION_INFO_EX {
    DWORD Flags;
};
#define FILE_DISPOSITION_FLAG_DELETE 0x1u
#define FILE_DISPOSITION_FLAG_POSIX_SEMANTICS 0x2u
#endif
#else

#define WINAPI
typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint64_t ULONG_PTR;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* LPVOID;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu

struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

struct OVERLAPPED_ENTRY {
    ULONG_PTR lpCompletionKey;
    OVERLAPPED* lpOverlapped;
    ULONG_PTR Internal;
    DWORD dwNumberOfBytesTransferred;
};

struct SECURITY_ATTRIBUTES;

union LARGE_INTEGER {
    int64_t QuadPart;
};

union ULARGE_INTEGER {
    uint64_t QuadPart;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

typedef unsigned char BOOLEAN;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;  // the reparse tag, when the entry is a reparse point
    wchar_t cFileName[MAX_PATH];
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

enum FILE_INFO_BY_HANDLE_CLASS {
    FileDispositionInfo = 4,
    FileAttributeTagInfo = 9,
    FileIdBothDirectoryInfo = 10,
    FileIdBothDirectoryRestartInfo = 11,
    FileIdInfo = 18,
    FileDispositionInfoEx = 21,
};

struct FILE_DISPOSITION_INFO {
    BOOLEAN DeleteFile;
};

struct FILE_DISPOSITION_INFO_EX {
    DWORD Flags;
};

struct FILE_ATTRIBUTE_TAG_INFO {
    DWORD FileAttributes;
    DWORD ReparseTag;
};

typedef uint64_t ULONGLONG;
typedef int64_t LONGLONG;

struct FILE_ID_128 {
    unsigned char Identifier[16];
};

struct FILE_ID_INFO {
    ULONGLONG VolumeSerialNumber;
    FILE_ID_128 FileId;
};

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};

#define TOKEN_QUERY 0x0008u
#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define SE_PRIVILEGE_ENABLED 0x00000002u

// One entry of a folder's listing; entries follow each other at
// NextEntryOffset (0 on the last), FileNameLength is in bytes.
struct FILE_ID_BOTH_DIR_INFO {
    DWORD NextEntryOffset;
    DWORD FileIndex;
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    LARGE_INTEGER EndOfFile;
    LARGE_INTEGER AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;
    DWORD EaSize;
    char ShortNameLength;
    wchar_t ShortName[12];
    LARGE_INTEGER FileId;
    wchar_t FileName[1];
};

#define FILE_DISPOSITION_FLAG_DELETE 0x1u
#define FILE_DISPOSITION_FLAG_POSIX_SEMANTICS 0x2u

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define DELETE 0x00010000u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400u
#define FILE_ATTRIBUTE_COMPRESSED 0x800u
#define FILE_ATTRIBUTE_ENCRYPTED 0x4000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u
#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu
#define IsReparseTagNameSurrogate(tag) ((tag) & 0x20000000u)
#define VOLUME_NAME_GUID 0x1u
#define VOLUME_NAME_NT 0x2u
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_BEGIN 0u
#define MEM_COMMIT 0x1000u
#define MEM_RESERVE 0x2000u
#define MEM_RELEASE 0x8000u
#define PAGE_READWRITE 0x04u
#define CP_ACP 0u

#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_HANDLE_EOF 38u
#define ERROR_HANDLE_DISK_FULL 39u
#define ERROR_FILE_EXISTS 80u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_DISK_FULL 112u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_MORE_DATA 234u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_PENDING 997u
#define ERROR_IO_DEVICE 1117u
#define ERROR_NOT_ALL_ASSIGNED 1300u
#define ERROR_PRIVILEGE_NOT_HELD 1314u

#define WAIT_OBJECT_0 0u
#define WAIT_FAILED 0xFFFFFFFFu
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

#endif

// Not in every Windows SDK's headers.
#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295u
#endif

// Storage control codes, defined here so the drive code reads the same on
// every platform (the Win32 headers spread them over several files).
constexpr DWORD IoctlStorageGetDeviceNumber = 0x2D1080;
constexpr DWORD IoctlStorageQueryProperty = 0x2D1400;
constexpr DWORD IoctlDiskGetLengthInfo = 0x7405C;
constexpr DWORD IoctlVolumeGetVolumeDiskExtents = 0x560000;
constexpr DWORD FsctlSetCompression = 0x9C040;
// STORAGE_DEVICE_NUMBER's DeviceType of a disk (FILE_DEVICE_DISK).
constexpr DWORD FileDeviceDisk = 7;
// The pseudo-handle GetCurrentProcess returns, and the privilege that lets a
// process move a file's valid data length (SE_MANAGE_VOLUME_NAME).
inline const HANDLE CurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
constexpr const wchar_t* ManageVolumePrivilege = L"SeManageVolumePrivilege";

// Windows paths use '\' and name a file whatever the case of its letters;
// the Linux backend takes the same texts with '/' and compares them exactly.
#ifdef _WIN32
constexpr wchar_t PathSeparator = L'\\';
constexpr bool PathsIgnoreCase = true;
#else
constexpr wchar_t PathSeparator = L'/';
constexpr bool PathsIgnoreCase = false;
#endif

struct PlatformCalls {
    HANDLE(WINAPI* CreateFileW)(const wchar_t* path, DWORD access, DWORD share,
                                SECURITY_ATTRIBUTES* security, DWORD disposition,
                                DWORD flags, HANDLE templateFile);
    BOOL(WINAPI* ReadFile)(HANDLE file, LPVOID buffer, DWORD bytes, DWORD* done,
                           OVERLAPPED* overlapped);
    BOOL(WINAPI* WriteFile)(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
                            OVERLAPPED* overlapped);
    HANDLE(WINAPI* CreateIoCompletionPort)(HANDLE file, HANDLE existingPort, ULONG_PTR key,
                                           DWORD threads);
    BOOL(WINAPI* GetQueuedCompletionStatus)(HANDLE port, DWORD* bytes, ULONG_PTR* key,
                                            OVERLAPPED** overlapped, DWORD milliseconds);
    BOOL(WINAPI* GetQueuedCompletionStatusEx)(HANDLE port, OVERLAPPED_ENTRY* entries, ULONG count,
                                              ULONG* removed, DWORD milliseconds, BOOL alertable);
    BOOL(WINAPI* GetOverlappedResult)(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes,
                                      BOOL wait);
    BOOL(WINAPI* CancelIoEx)(HANDLE file, OVERLAPPED* overlapped);
    BOOL(WINAPI* SetFilePointerEx)(HANDLE file, LARGE_INTEGER distance,
                                   LARGE_INTEGER* newPosition, DWORD method);
    BOOL(WINAPI* SetEndOfFile)(HANDLE file);
    BOOL(WINAPI* FlushFileBuffers)(HANDLE file);
    BOOL(WINAPI* CloseHandle)(HANDLE handle);
    BOOL(WINAPI* DeleteFileW)(const wchar_t* path);
    BOOL(WINAPI* CreateDirectoryW)(const wchar_t* path, SECURITY_ATTRIBUTES* security);
    BOOL(WINAPI* RemoveDirectoryW)(const wchar_t* path);
    DWORD(WINAPI* GetFileAttributesW)(const wchar_t* path);
    BOOL(WINAPI* GetFileInformationByHandle)(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
    BOOL(WINAPI* SetFileInformationByHandle)(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                             LPVOID information, DWORD bytes);
    BOOL(WINAPI* GetFileInformationByHandleEx)(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                               LPVOID information, DWORD bytes);
    // Opens the existing entry `name` of the folder behind `folder`, without
    // going through any path: what the folder is now called, or where it
    // now is, does not matter. Flags as CreateFileW's.
    HANDLE(WINAPI* OpenFileRelative)(HANDLE folder, const wchar_t* name, DWORD access, DWORD share,
                                     DWORD flags);
    HANDLE(WINAPI* FindFirstFileW)(const wchar_t* pattern, WIN32_FIND_DATAW* found);
    BOOL(WINAPI* FindNextFileW)(HANDLE search, WIN32_FIND_DATAW* found);
    BOOL(WINAPI* FindClose)(HANDLE search);
    LPVOID(WINAPI* VirtualAlloc)(LPVOID address, size_t bytes, DWORD type, DWORD protect);
    BOOL(WINAPI* VirtualFree)(LPVOID address, size_t bytes, DWORD type);
    BOOL(WINAPI* QueryPerformanceCounter)(LARGE_INTEGER* counter);
    BOOL(WINAPI* QueryPerformanceFrequency)(LARGE_INTEGER* frequency);
    DWORD(WINAPI* GetTickCount)();
    void(WINAPI* Sleep)(DWORD milliseconds);
    UINT(WINAPI* timeBeginPeriod)(UINT milliseconds);
    void(WINAPI* GetLocalTime)(SYSTEMTIME* time);
    DWORD(WINAPI* GetLastError)();
    void(WINAPI* SetLastError)(DWORD code);
    DWORD(WINAPI* GetCurrentDirectoryW)(DWORD length, wchar_t* buffer);
    DWORD(WINAPI* GetModuleFileNameW)(HMODULE module, wchar_t* buffer, DWORD length);
    BOOL(WINAPI* DeviceIoControl)(HANDLE device, DWORD code, LPVOID input, DWORD inputBytes,
                                  LPVOID output, DWORD outputBytes, DWORD* returned,
                                  OVERLAPPED* overlapped);
    BOOL(WINAPI* GetDiskFreeSpaceExW)(const wchar_t* root, ULARGE_INTEGER* freeToCaller,
                                      ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree);
    int(WINAPI* MultiByteToWideChar)(UINT codePage, DWORD flags, const char* bytes,
                                     int byteCount, wchar_t* text, int textLength);
    wchar_t*(WINAPI* CharUpperW)(wchar_t* text);
    DWORD(WINAPI* GetFinalPathNameByHandleW)(HANDLE file, wchar_t* path, DWORD length,
                                              DWORD flags);
    BOOL(WINAPI* GetVolumeInformationW)(const wchar_t* root, wchar_t* volumeName,
                                        DWORD volumeNameLength, DWORD* serialNumber,
                                        DWORD* longestComponent, DWORD* fileSystemFlags,
                                        wchar_t* fileSystemName, DWORD fileSystemNameLength);
    BOOL(WINAPI* GetVolumeInformationByHandleW)(HANDLE file, wchar_t* volumeName,
                                                DWORD volumeNameLength, DWORD* serialNumber,
                                                DWORD* longestComponent, DWORD* fileSystemFlags,
                                                wchar_t* fileSystemName,
                                                DWORD fileSystemNameLength);
    int(WINAPI* CompareStringOrdinal)(const wchar_t* a, int aLength, const wchar_t* b,
                                      int bLength, BOOL ignoreCase);
    BOOL(WINAPI* SetFileValidData)(HANDLE file, LONGLONG validDataLength);
    BOOL(WINAPI* OpenProcessToken)(HANDLE process, DWORD access, HANDLE* token);
    BOOL(WINAPI* LookupPrivilegeValueW)(const wchar_t* system, const wchar_t* name, LUID* luid);
    BOOL(WINAPI* AdjustTokenPrivileges)(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                                        DWORD bytes, TOKEN_PRIVILEGES* previous, DWORD* returned);
    // The threads of a pass: started, waited for (INFINITE only) and closed.
    HANDLE(WINAPI* CreateThread)(SECURITY_ATTRIBUTES* security, size_t stackBytes,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                 DWORD* threadId);
    DWORD(WINAPI* WaitForSingleObject)(HANDLE handle, DWORD milliseconds);
};

// The process-wide table. It starts as the native backend; tests swap in the
// fake and put the native one back.
extern PlatformCalls Platform;

// The native backend's table, for restoring after a test.
const PlatformCalls& NativePlatform();

// The engine behind the port and overlapped calls of the native backend:
// "iocp" on Windows, "io_uring" or "libaio" on Linux.
const wchar_t* IoBackendName();
