// The driver's helpers: the program's process and windows, texts, files,
// screenshots and the probe library.
#include "tests/window/window_driver.h"

#include <cstdio>

DriverSetup Setup;
int Failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++Failures;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c == L'\r' ? '~' : (c < 128 ? static_cast<char>(c) : '?');
    return out;
}

namespace {

struct WindowQuery {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    wchar_t title[128] = {};
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, title, 128);
    if (owner == query->processId && IsWindowVisible(window) &&
        (!query->className || std::wstring(className) == query->className) &&
        std::wstring(title) == query->title) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopLevel(const Started& run, const wchar_t* className, const wchar_t* title) {
    WindowQuery query{run.process.dwProcessId, className, title, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

// Loads the probe library in the program and waits until it has done its work.
void LoadProbe(const Started& run) {
    DeleteFileW((Setup.probeLibrary + L".txt").c_str());
    DeleteFileW((Setup.probeLibrary + L".status").c_str());
    const size_t bytes = (Setup.probeLibrary.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(run.process.hProcess, nullptr, bytes, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (!remote) return;
    WriteProcessMemory(run.process.hProcess, remote, Setup.probeLibrary.c_str(), bytes, nullptr);
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = CreateRemoteThread(run.process.hProcess, nullptr, 0, load, remote, 0, nullptr);
    if (thread) {
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }
    VirtualFreeEx(run.process.hProcess, remote, 0, MEM_RELEASE);
    Check(WaitFor([] { return !ProbeReport().empty() && ProbeReport().back() == L"end"; }, 10000),
          "the probe library has read the window");
}

}  // namespace

Started Start() {
    Started run;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + Setup.program + L"\"";
    if (!CreateProcessW(Setup.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Setup.folder.c_str(), &startup, &run.process)) {
        Check(false, "program starts");
        return run;
    }
    WaitFor([&] { return (run.main = FindTopLevel(run, nullptr, L"Corvasta V1.1.0 x64")) != nullptr; },
            30000);
    // The window shows before its controls are built; the status line comes last.
    const bool built = WaitFor([&] { return run.main && GetDlgItem(run.main, 11) != nullptr; }, 30000);
    Check(built, "main window appears");
    if (!built) {
        run.main = nullptr;
        return run;
    }
    LoadProbe(run);
    return run;
}

DWORD WaitForExit(Started& run, DWORD timeoutMs) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(run.process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(run.process.hProcess, &code);
    }
    return code;
}

void Finish(Started& run) {
    if (WaitForSingleObject(run.process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(run.process.hProcess, 99);
        WaitForSingleObject(run.process.hProcess, 5000);
    }
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
}

HWND FindBox(const Started& run, const wchar_t* title) {
    return FindTopLevel(run, L"#32770", title);
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                        2000, &copied);
    return text;
}

HWND Control(const Started& run, int id) {
    return GetDlgItem(run.main, id);
}

std::wstring ControlText(const Started& run, int id) {
    return TextOf(Control(run, id));
}

void AnswerBox(const Started& run, const wchar_t* title, const std::wstring& text,
               const std::string& what) {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindBox(run, title)) != nullptr; }, 20000);
    Check(box != nullptr, what + ": box appears");
    if (!box) return;
    const std::wstring shown = TextOf(GetDlgItem(box, 0xFFFF));
    Check(shown == text, what + ": text is exact");
    if (shown != text) std::printf("     shown: %s\n", Narrow(shown).c_str());
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return !IsWindow(box); }, 10000), what + ": OK closes it");
}

std::wstring Path(const std::wstring& name) {
    return Setup.folder + name;
}

bool Exists(const std::wstring& name) {
    return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FolderEntries() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Path(L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::wstring FindEntry(const std::wstring& prefix, const std::wstring& suffix) {
    for (const std::wstring& name : FolderEntries()) {
        if (name.size() >= prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return name;
        }
    }
    return L"";
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * sizeof(wchar_t));
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::vector<std::wstring> ProbeReport() {
    return ReadLines(Setup.probeLibrary + L".txt");
}

std::vector<std::wstring> StatusLog() {
    return ReadLines(Setup.probeLibrary + L".status");
}

std::wstring WaitForStatus(const Started& run, const std::vector<std::wstring>& texts, DWORD timeoutMs) {
    std::wstring shown;
    WaitFor(
        [&] {
            shown = ControlText(run, 11);
            for (const std::wstring& text : texts) {
                if (shown == text) return true;
            }
            return false;
        },
        timeoutMs);
    return shown;
}

namespace {

// A binary PPM as the test script writes it: "P6", width, height, 255, one
// blank, then RGB rows.
Screen ReadPicture(const std::wstring& path) {
    Screen screen;
    const std::string bytes = ReadBytes(path);
    int width = 0;
    int height = 0;
    int maximum = 0;
    int header = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &maximum, &header) != 3 || maximum != 255) {
        return screen;
    }
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const size_t start = static_cast<size_t>(header) + 1;
    if (width <= 0 || height <= 0 || start + size > bytes.size()) return screen;
    screen.width = width;
    screen.height = height;
    screen.rgb = bytes.substr(start, size);
    return screen;
}

}  // namespace

Screen Screenshot(const Started& run, const wchar_t* name) {
    // Without a window manager nothing draws the caption, so the picture
    // starts at the menu bar.
    RECT outer{};
    GetClientRect(run.main, &outer);
    MapWindowPoints(run.main, nullptr, reinterpret_cast<POINT*>(&outer), 2);
    const int menuHeight = GetSystemMetrics(SM_CYMENU);
    outer.top -= menuHeight;
    const std::wstring request = Setup.signalFolder + name + L".shot";
    const std::wstring picture = Setup.signalFolder + name + L".ppm";
    DeleteFileW(picture.c_str());
    HANDLE file = CreateFileW(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    char geometry[64];
    const int length = std::snprintf(geometry, sizeof(geometry), "%ldx%ld+%ld+%ld\n",
                                     outer.right - outer.left, outer.bottom - outer.top, outer.left,
                                     outer.top);
    DWORD written = 0;
    WriteFile(file, geometry, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    Check(WaitFor([&] { return GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES; }, 30000),
          "screenshot taken");
    Screen screen = ReadPicture(picture);
    screen.clientTop = menuHeight;
    return screen;
}

COLORREF ColourAt(const Screen& screen, int x, int y) {
    const int row = y + screen.clientTop;
    if (x < 0 || row < 0 || x >= screen.width || row >= screen.height) return CLR_INVALID;
    const auto* pixel = reinterpret_cast<const unsigned char*>(screen.rgb.data()) +
                        (static_cast<size_t>(row) * static_cast<size_t>(screen.width) + static_cast<size_t>(x)) * 3;
    return RGB(pixel[0], pixel[1], pixel[2]);
}
