// Drives the window program from outside, as a user would: starts it in a
// folder, finds its windows by title and identifier, presses buttons, chooses
// menu items, and checks texts, states, menus and the files it leaves.
// Usage: window_driver <program> <folder> <signal folder> <menu probe library>
#include "ui/portable/window_texts.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

int Failures = 0;
std::wstring Program;
std::wstring Folder;  // with its trailing backslash
std::wstring SignalFolder;
std::wstring ProbeLibrary;

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

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

struct Started {
    PROCESS_INFORMATION process{};
    HWND main = nullptr;
};

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

std::wstring Path(const std::wstring& name) {
    return Folder + name;
}

bool Exists(const std::wstring& name) {
    return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names directly inside the benchmark folder.
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

Started Start() {
    Started run;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + Program + L"\"";
    if (!CreateProcessW(Program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Folder.c_str(), &startup, &run.process)) {
        Check(false, "program starts");
        return run;
    }
    WaitFor([&] { return (run.main = FindTopLevel(run, nullptr, L"Corvasta V1.1.0 x64")) != nullptr; },
            30000);
    // The window shows before its controls are built; the status line comes last.
    WaitFor([&] { return run.main && GetDlgItem(run.main, 11) != nullptr; }, 30000);
    Check(run.main != nullptr && GetDlgItem(run.main, 11) != nullptr, "main window appears");
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

// Checks a message box's text and closes it with its OK button.
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

// Asks the test script for a screenshot of the window and waits for it.
void Screenshot(const Started& run, const wchar_t* name) {
    // Without a window manager nothing draws the caption, so the picture
    // starts at the menu bar.
    RECT outer{};
    GetClientRect(run.main, &outer);
    MapWindowPoints(run.main, nullptr, reinterpret_cast<POINT*>(&outer), 2);
    outer.top -= GetSystemMetrics(SM_CYMENU);
    const std::wstring request = SignalFolder + name + L".shot";
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
}

// Menus cannot be read across processes under Wine, so the probe library
// reads them inside the program; loading it there is all the driver does.
std::string ReadMenusInside(const Started& run) {
    const std::wstring report = ProbeLibrary + L".txt";
    DeleteFileW(report.c_str());
    const size_t bytes = (ProbeLibrary.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(run.process.hProcess, nullptr, bytes, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (!remote) return "";
    WriteProcessMemory(run.process.hProcess, remote, ProbeLibrary.c_str(), bytes, nullptr);
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = CreateRemoteThread(run.process.hProcess, nullptr, 0, load, remote, 0, nullptr);
    if (thread) {
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }
    VirtualFreeEx(run.process.hProcess, remote, 0, MEM_RELEASE);
    std::string text;
    HANDLE file = CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

void CheckMenus(const Started& run) {
    const std::string expected =
        "menu File\n"
        "item 15 enabled unchecked string Exit\n"
        "menu Settings\n"
        "item 16 greyed unchecked string Other Drives (Future Version)\n"
        "item 17 enabled checked string NVMe SSD\n"
        "item 18 greyed unchecked string Flash Memory (Future Version)\n"
        "menu Profile\n"
        "item 22 enabled checked string Default\n"
        "menu Help\n"
        "item 20 enabled unchecked string Help\n"
        "item 21 enabled unchecked string About Corvasta V1.1.0 x64...\n";
    std::string shown = ReadMenusInside(run);
    shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
    Check(shown == expected, "menu bar: titles, item ids, texts, greyed and checked states");
    if (shown != expected) std::printf("%s", shown.c_str());
}

void CheckFreshWindow(const Started& run) {
    RECT client{};
    GetClientRect(run.main, &client);
    Check(client.right == 677 && client.bottom == 370, "client area is 677 x 370");
    const LONG style = GetWindowLongW(run.main, GWL_STYLE);
    Check((style & (WS_CAPTION | WS_SYSMENU)) == (WS_CAPTION | WS_SYSMENU) &&
              (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0,
          "caption and close box only");
    Check(ControlText(run, 9) == L"0.00 " && ControlText(run, 10) == L"0.00 ",
          "both speed displays show 0.00");
    Check(SendMessageW(Control(run, 2), CB_GETCURSEL, 0, 0) == 3 &&
              SendMessageW(Control(run, 2), CB_GETCOUNT, 0, 0) == 7,
          "pass count list: 7 items, \"4\" selected");
    Check(SendMessageW(Control(run, 3), CB_GETCURSEL, 0, 0) == 3 &&
              SendMessageW(Control(run, 3), CB_GETCOUNT, 0, 0) == 9,
          "test size list: 9 items, \"2 GiB\" selected");
    Check(!IsWindowEnabled(Control(run, 0)) && !IsWindowEnabled(Control(run, 44)),
          "STOP and Open HTML Report are disabled");
    Check(IsWindowEnabled(Control(run, 5)) && IsWindowVisible(Control(run, 5)),
          "start button shown and enabled");
    Check(ControlText(run, 0) == L"STOP" && ControlText(run, 44) == L"Open HTML Report",
          "push button captions");
    Check(ControlText(run, 11) == L" Developed by Quillane 2026", "credit text in the status line");
    Check(ControlText(run, 7) == L"Read (MB/s)" && ControlText(run, 8) == L"Write (MB/s)",
          "speed captions");
    static const int fields[] = {82, 86, 90};
    for (int id : fields) {
        const std::wstring text = ControlText(run, id);
        Check(!text.empty(), "drive field " + std::to_string(id) + " shows " + Narrow(text));
    }
    const std::wstring capacity = ControlText(run, 90);
    Check(capacity == L"Unknown" || capacity.find(L"B (") != std::wstring::npos,
          "capacity is a capacity text or Unknown");
    Check(ControlText(run, 4) == Folder, "folder field shows " + Narrow(ControlText(run, 4)));
    Check((GetWindowLongW(Control(run, 4), GWL_STYLE) & ES_READONLY) != 0, "folder field is read-only");
    CheckMenus(run);
}

// Records each new status line text until one of the final texts shows.
std::vector<std::wstring> RecordStatus(const Started& run, const std::vector<std::wstring>& finals,
                                       DWORD timeoutMs) {
    std::vector<std::wstring> seen;
    HWND status = Control(run, 11);
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end) {
        const std::wstring text = TextOf(status);
        if (seen.empty() || seen.back() != text) {
            seen.push_back(text);
            std::printf("     status: %s\n", Narrow(text).c_str());
            for (const std::wstring& last : finals) {
                if (text == last) return seen;
            }
        }
        Sleep(20);
    }
    return seen;
}

void ChooseSettings(const Started& run, int passIndex, int sizeIndex) {
    SendMessageW(Control(run, 2), CB_SETCURSEL, static_cast<WPARAM>(passIndex), 0);
    SendMessageW(Control(run, 3), CB_SETCURSEL, static_cast<WPARAM>(sizeIndex), 0);
}

void PressStart(const Started& run) {
    PostMessageW(Control(run, 5), BM_CLICK, 0, 0);
}

const wchar_t* const InProgress = L"Folder Sequential Benchmark in progress...";
const wchar_t* const StoppedText = L"Stopping benchmark...Benchmark stopped by user.";
const wchar_t* const CompletedText = L"Benchmark completed - HTML log saved in the benchmark folder.";

void CheckRunningState(const Started& run) {
    HWND picture = Control(run, 77);
    Check(!IsWindowVisible(Control(run, 5)) && picture && IsWindowVisible(picture),
          "running: start button hidden, running picture 77 shown");
    Check(!IsWindowEnabled(Control(run, 2)) && !IsWindowEnabled(Control(run, 3)) &&
              IsWindowEnabled(Control(run, 0)) && !IsWindowEnabled(Control(run, 44)),
          "running: lists disabled, STOP enabled, report button disabled");
    Check(ControlText(run, 9) == L"Wait...   " && ControlText(run, 10) == L"Wait...   ",
          "running: displays say Wait...");
}

void CheckIdleAgain(const Started& run) {
    Check(IsWindowVisible(Control(run, 5)) && IsWindowEnabled(Control(run, 5)) &&
              !IsWindowVisible(Control(run, 77)) && IsWindowEnabled(Control(run, 2)) &&
              IsWindowEnabled(Control(run, 3)) && !IsWindowEnabled(Control(run, 0)),
          "idle again: start button back, picture hidden, lists enabled, STOP disabled");
    Check(ControlText(run, 5) == L"START", "start button caption is START");
}

bool IsSpeedText(const std::wstring& text) {
    if (text.size() < 5 || text.back() != L' ') return false;
    const size_t point = text.find(L'.');
    return point != std::wstring::npos && point > 0 && point + 4 == text.size() && text != L"0.00 ";
}

void FirstStart() {
    std::printf("-- first start in an empty folder\n");
    Started run = Start();
    AnswerBox(run, L"Help", FirstStartHelpText(), "first-start help");
    HANDLE marker = CreateFileW(Path(L"First_Help_Tag").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    char bytes[16] = {};
    DWORD read = 0;
    if (marker != INVALID_HANDLE_VALUE) {
        ReadFile(marker, bytes, sizeof(bytes), &read, nullptr);
        CloseHandle(marker);
    }
    Check(read == 6 && std::string(bytes, read) == "help\r\n", "First_Help_Tag holds help CR LF");
    if (run.main) {
        CheckFreshWindow(run);
        Screenshot(run, L"window-idle");
        PostMessageW(run.main, WM_COMMAND, 20, 0);
        AnswerBox(run, L"Help", HelpText(), "Help menu item");
        PostMessageW(run.main, WM_COMMAND, 21, 0);
        AnswerBox(run, L"About", AboutText(), "About menu item");
        PostMessageW(run.main, WM_CLOSE, 0, 0);
        Check(WaitForExit(run, 10000) == 0, "close box while idle ends the program with 0");
    }
    Finish(run);
}

void StoppedAndCompletedRuns() {
    std::printf("-- second start: a stopped run, then a whole run\n");
    Started run = Start();
    if (!run.main) return Finish(run);
    Check(!WaitFor([&] { return FindBox(run, L"Help") != nullptr; }, 3000), "no help box at the second start");

    ChooseSettings(run, 1, 0);
    PressStart(run);
    const std::vector<std::wstring> first = RecordStatus(run, {InProgress}, 20000);
    CheckRunningState(run);
    PostMessageW(Control(run, 0), BM_CLICK, 0, 0);
    const std::vector<std::wstring> stopped = RecordStatus(run, {StoppedText}, 30000);
    Check(!stopped.empty() && stopped.back() == StoppedText, "stop ends the run as stopped");
    Check(ControlText(run, 9) == L"-.--   " && ControlText(run, 10) == L"-.--   ",
          "stopped: both displays show -.--");
    Check(!IsWindowEnabled(Control(run, 44)), "stopped: report button disabled");
    CheckIdleAgain(run);
    const std::vector<std::wstring> left = FolderEntries();
    Check(left.size() == 1 && left[0] == L"First_Help_Tag", "stopped: only the help marker is left");

    PressStart(run);
    RecordStatus(run, {InProgress}, 20000);
    PostMessageW(run.main, WM_CLOSE, 0, 0);
    PostMessageW(run.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::vector<std::wstring> seen = RecordStatus(run, {CompletedText, StoppedText}, 240000);
    Check(IsWindow(run.main), "the close box during a run does nothing");
    // No pause follows the last pass of a phase, so its count may show too
    // briefly to be seen.
    const std::vector<std::pair<std::wstring, bool>> expected = {
        {InProgress, false}, {L"Read 1/2", false}, {L"Read 2/2", true},
        {L"Read Completed. Writing between 5 seconds...", false},
        {L"Read Completed. Writing between 4 seconds...", false},
        {L"Read Completed. Writing between 3 seconds...", false},
        {L"Read Completed. Writing between 2 seconds...", false},
        {L"Read Completed. Writing between 1 seconds...", false},
        {L"Preparing write test...", false}, {L"Write 1/2", false}, {L"Write 2/2", true},
        {CompletedText, false}};
    size_t next = 0;
    bool inOrder = true;
    for (const auto& [text, mayBeMissed] : expected) {
        if (next < seen.size() && seen[next] == text) {
            ++next;
        } else if (!mayBeMissed) {
            inOrder = false;
        }
    }
    Check(inOrder && next == seen.size(), "status line goes through every step of a whole run in order");
    Check(IsSpeedText(ControlText(run, 9)) && IsSpeedText(ControlText(run, 10)),
          "displays end with the pass speeds: " + Narrow(ControlText(run, 9)) + "/" +
              Narrow(ControlText(run, 10)));
    Check(IsWindowEnabled(Control(run, 44)), "completed: report button enabled");
    CheckIdleAgain(run);
    const std::wstring report = FindEntry(L"corvasta_", L"_SEQ1MQ8T1_256MiB.html");
    Check(!report.empty() && FolderEntries().size() == 2,
          "completed: the folder holds the help marker and the report " + Narrow(report));
    Check(FindEntry(L"corvastatmp", L"").empty() && !Exists(L"result_something_happened.txt"),
          "completed: no temporary folder and no recovery marker");
    PostMessageW(run.main, WM_CLOSE, 0, 0);
    Check(WaitForExit(run, 10000) == 0, "after the outcome the close box ends the program");
    Finish(run);
}

void ExitDuringRunThenRecover() {
    std::printf("-- Exit during a run, then the next start cleans up\n");
    const size_t before = FolderEntries().size();
    Started run = Start();
    if (!run.main) return Finish(run);
    ChooseSettings(run, 0, 0);
    PressStart(run);
    RecordStatus(run, {L"Read 1/1", L"Read Completed. Writing between 5 seconds..."}, 120000);
    Screenshot(run, L"window-running");
    const std::wstring temporary = FindEntry(L"corvastatmp", L"");
    Check(!temporary.empty() && Exists(L"result_something_happened.txt"),
          "during a run the temporary folder and the recovery marker exist");
    PostMessageW(run.main, WM_COMMAND, 15, 0);
    Check(WaitForExit(run, 10000) == 0, "Exit during a run ends the process at once");
    Finish(run);
    Check(Exists(temporary) && Exists(L"result_something_happened.txt") &&
              FolderEntries().size() == before + 3,
          "the abandoned run left its folder, marker and unfinished report");

    Started next = Start();
    if (next.main) {
        Check(FolderEntries().size() == before && !Exists(temporary) &&
                  !Exists(L"result_something_happened.txt"),
              "the next start removed the temporary folder, the unfinished report and the marker");
        PostMessageW(next.main, WM_CLOSE, 0, 0);
        WaitForExit(next, 10000);
    }
    Finish(next);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::printf("usage: window_driver <program> <folder> <signal folder> <menu probe>\n");
        return 2;
    }
    Program = argv[1];
    Folder = argv[2];
    if (Folder.back() != L'\\') Folder += L'\\';
    SignalFolder = argv[3];
    ProbeLibrary = argv[4];
    if (SignalFolder.back() != L'\\') SignalFolder += L'\\';
    FirstStart();
    StoppedAndCompletedRuns();
    ExitDuringRunThenRecover();
    std::printf("%d failure(s)\n", Failures);
    return Failures == 0 ? 0 : 1;
}
