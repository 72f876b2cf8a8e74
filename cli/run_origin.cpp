#include "cli/run_origin.h"

#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/utsname.h>
#include <unistd.h>
#endif

#include <cstdio>

namespace {

#ifdef _WIN32
std::wstring HostName() {
    wchar_t name[256] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetComputerNameExW(ComputerNameDnsHostname, name, &size) ? std::wstring(name, size) : std::wstring();
}

// GetVersionExW answers what the manifest claims; ntdll tells the truth.
std::wstring SystemText() {
    using GetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto call = ntdll ? reinterpret_cast<GetVersionCall>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                            : nullptr;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!call || call(&version) != 0) return L"Windows";
    return L"Windows " + DecimalText(version.dwMajorVersion) + L"." + DecimalText(version.dwMinorVersion) + L"." +
           DecimalText(version.dwBuildNumber);
}
#else
std::wstring HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return WideFromUtf8(name);
}

std::wstring SystemText() {
    utsname names{};
    if (uname(&names) != 0) return L"Linux";
    return WideFromUtf8(std::string(names.sysname) + " " + names.release);
}
#endif

}  // namespace

std::wstring IsoUtcText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date(day);
    const hh_mm_ss<std::chrono::seconds> clock(seconds - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return WideFromUtf8(text);
}

RunOrigin OriginNow(const std::wstring& label) {
    RunOrigin origin;
    origin.host = HostName();
    origin.label = label.empty() ? origin.host : label;
    origin.startedAt = IsoUtcText(std::chrono::system_clock::now());
    origin.system = SystemText();
    return origin;
}
