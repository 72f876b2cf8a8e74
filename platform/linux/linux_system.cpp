// Memory, clocks, the process's own paths, volume space and text conversion.
#include "platform/linux/linux_native.h"

#include "platform/text.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace linux_native {

namespace {

constexpr size_t PageBytes = 4096;
constexpr size_t HugePageBytes = 2 * 1024 * 1024;
// Regions from this size on go on huge pages.
constexpr size_t HugeRegionBytes = 1024 * 1024;
constexpr uint64_t RegionMagic = 0x6E6F6967655276ULL;

// A region is mapped with one page in front that records the mapping, since
// VirtualFree is not told it. Mapped pages (unlike heap memory) cannot be
// handed out again while the kernel still holds them for a transfer.
struct RegionHeader {
    uint64_t magic;
    void* base;
    size_t mappedBytes;
};

size_t RoundUp(size_t bytes, size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

int64_t Nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Copies text into a caller's buffer of length characters as Windows does
// for GetCurrentDirectoryW: the length without the terminator, or the size
// needed (with it) when the buffer is too small.
DWORD CopyOrNeed(const std::wstring& text, wchar_t* buffer, DWORD length) {
    if (buffer == nullptr || length < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = L'\0';
    return static_cast<DWORD>(text.size());
}

bool ReadText(bool (*read)(std::vector<char>&, size_t&), std::string& out) {
    std::vector<char> buffer(PATH_MAX);
    size_t used = 0;
    while (!read(buffer, used)) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return false;
        buffer.resize(buffer.size() * 2);
    }
    out.assign(buffer.data(), used);
    return true;
}

bool ReadCurrentDirectory(std::vector<char>& buffer, size_t& used) {
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return false;
    used = std::strlen(buffer.data());
    return true;
}

bool ReadOwnExecutable(std::vector<char>& buffer, size_t& used) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) == buffer.size()) {
        errno = ERANGE;
        return false;
    }
    used = static_cast<size_t>(length);
    return true;
}

}  // namespace

LPVOID VirtualAlloc(LPVOID address, size_t bytes, DWORD type, DWORD) {
    if (address != nullptr || bytes == 0 || (type & MEM_COMMIT) == 0 ||
        bytes > SIZE_MAX - 3 * HugePageBytes) {
        SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A 1 MiB request on 4 KiB pages takes 256 segments, more than devices
    // such as virtio disks take in one, so the block layer splits it in two
    // and cannot merge it with the next. Such a region therefore starts on a
    // huge page boundary and asks for huge pages; where none is granted it
    // works on ordinary pages as before. Only the header page and the region
    // are ever touched, so the alignment slack costs address space, not
    // memory. Smaller requests fit in a device's segments as they are, and a
    // huge page each would only slow the small buffers of a deep queue.
    const bool huge = bytes >= HugeRegionBytes;
    const size_t alignment = huge ? HugePageBytes : PageBytes;
    const size_t regionBytes = RoundUp(bytes, alignment);
    const size_t mappedBytes = PageBytes + regionBytes + (huge ? HugePageBytes : 0);
    void* base = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const auto start = reinterpret_cast<uintptr_t>(base) + PageBytes;
    auto* region = reinterpret_cast<char*>(RoundUp(start, alignment));
    if (huge) madvise(region, regionBytes, MADV_HUGEPAGE);
    *reinterpret_cast<RegionHeader*>(region - PageBytes) = RegionHeader{RegionMagic, base, mappedBytes};
    NoteRegion(region, bytes);
    return region;
}

BOOL VirtualFree(LPVOID address, size_t bytes, DWORD type) {
    if (address == nullptr || bytes != 0 || type != MEM_RELEASE ||
        reinterpret_cast<uintptr_t>(address) % PageBytes != 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* header = reinterpret_cast<RegionHeader*>(static_cast<char*>(address) - PageBytes);
    if (header->magic != RegionMagic) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    header->magic = 0;
    // A port that registered the region keeps its pages pinned; it only has
    // to stop using the address, which later memory may take.
    ForgetRegion(address);
    munmap(header->base, header->mappedBytes);
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    counter->QuadPart = Nanoseconds(CLOCK_MONOTONIC);
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 1000000000;
    return TRUE;
}

DWORD GetTickCount() {
    return static_cast<DWORD>(static_cast<uint64_t>(Nanoseconds(CLOCK_MONOTONIC) / 1000000));
}

void Sleep(DWORD milliseconds) {
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

UINT timeBeginPeriod(UINT) {
    return 0;
}

void GetLocalTime(SYSTEMTIME* time) {
    const int64_t now = Nanoseconds(CLOCK_REALTIME);
    const time_t seconds = static_cast<time_t>(now / 1000000000);
    tm local{};
    localtime_r(&seconds, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now / 1000000 % 1000);
}

DWORD GetCurrentDirectoryW(DWORD length, wchar_t* buffer) {
    std::string folder;
    if (!ReadText(ReadCurrentDirectory, folder)) {
        SetErrnoError();
        return 0;
    }
    return CopyOrNeed(WideFromUtf8(folder), buffer, length);
}

// Windows semantics: a name that does not fit is cut to length - 1
// characters and terminated, and the result is length with
// ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD length) {
    std::string path;
    if (module != nullptr) {
        SetError(ErrorModNotFound);
        return 0;
    }
    if (!ReadText(ReadOwnExecutable, path)) {
        SetErrnoError();
        return 0;
    }
    const std::wstring wide = WideFromUtf8(path);
    if (length == 0 || buffer == nullptr) {
        SetError(ErrorInsufficientBuffer);
        return 0;
    }
    if (wide.size() < length) return CopyOrNeed(wide, buffer, length);
    wide.copy(buffer, length - 1);
    buffer[length - 1] = L'\0';
    SetError(ErrorInsufficientBuffer);
    return length;
}

BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, DWORD* returned, OVERLAPPED*) {
    if (returned) *returned = 0;
    SetError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL GetDiskFreeSpaceExW(const wchar_t* root, ULARGE_INTEGER* freeToCaller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    std::string native = ".";
    if (root != nullptr && !NativePath(root, native)) return FALSE;
    struct statvfs volume {};
    if (statvfs(native.c_str(), &volume) != 0) {
        SetErrnoError(&native);
        return FALSE;
    }
    const uint64_t unit = volume.f_frsize;
    if (freeToCaller) freeToCaller->QuadPart = volume.f_bavail * unit;
    if (total) total->QuadPart = volume.f_blocks * unit;
    if (totalFree) totalFree->QuadPart = volume.f_bfree * unit;
    return TRUE;
}

// The system code page is taken as Latin-1: every byte is the character of
// the same number. Windows semantics for the counts: -1 takes the text up to
// and with its terminator, and a textLength of 0 asks for the size only.
int MultiByteToWideChar(UINT codePage, DWORD, const char* bytes, int byteCount, wchar_t* text,
                        int textLength) {
    if (codePage != CP_ACP || bytes == nullptr || byteCount == 0 || byteCount < -1 ||
        textLength < 0 || (textLength > 0 && text == nullptr)) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t count = byteCount == -1 ? std::strlen(bytes) + 1 : static_cast<size_t>(byteCount);
    if (count > INT_MAX) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (textLength == 0) return static_cast<int>(count);
    if (static_cast<size_t>(textLength) < count) {
        SetError(ErrorInsufficientBuffer);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) text[i] = static_cast<unsigned char>(bytes[i]);
    return static_cast<int>(count);
}

wchar_t* CharUpperW(wchar_t* text) {
    for (wchar_t* c = text; *c; ++c) *c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(*c)));
    return text;
}

}  // namespace linux_native
