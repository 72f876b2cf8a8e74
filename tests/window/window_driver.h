// The window driver's shared helpers: starting the window program, finding
// its windows and controls, reading texts and files, screenshots, and the
// probe library that reads what only the program's own process can.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DriverSetup {
    std::wstring program;
    std::wstring folder;  // the benchmark folder, with its trailing backslash
    std::wstring signalFolder;  // with its trailing backslash
    std::wstring probeLibrary;
    std::wstring reportOpener;
};

extern DriverSetup Setup;
extern int Failures;

void Check(bool ok, const std::string& what);
std::string Narrow(const std::wstring& text);

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

// Starts the program in the benchmark folder, waits until its window is
// built and loads the probe library into it.
Started Start();
DWORD WaitForExit(Started& run, DWORD timeoutMs);
void Finish(Started& run);

HWND FindBox(const Started& run, const wchar_t* title);
std::wstring TextOf(HWND window);
HWND Control(const Started& run, int id);
std::wstring ControlText(const Started& run, int id);
// Checks a message box's text and closes it with its OK button.
void AnswerBox(const Started& run, const wchar_t* title, const std::wstring& text, const std::string& what);

std::wstring Path(const std::wstring& name);
bool Exists(const std::wstring& name);
std::vector<std::wstring> FolderEntries();
std::wstring FindEntry(const std::wstring& prefix, const std::wstring& suffix);
std::string ReadBytes(const std::wstring& path);
// A file of UTF-16 lines ended by LF.
std::vector<std::wstring> ReadLines(const std::wstring& path);

// What the probe wrote when it was loaded: menus, controls and list items.
std::vector<std::wstring> ProbeReport();
// Every text the status line was given since the probe was loaded.
std::vector<std::wstring> StatusLog();
// Polls the status line until it shows one of the texts; returns the last text seen.
std::wstring WaitForStatus(const Started& run, const std::vector<std::wstring>& texts, DWORD timeoutMs);

// The window's client area as the screen shows it, 8-bit RGB rows.
struct Screen {
    int width = 0;
    int height = 0;
    int clientTop = 0;  // the client area's first row in the picture
    std::string rgb;
};
// Asks the test script for a screenshot (saved as name.png) and reads it back.
Screen Screenshot(const Started& run, const wchar_t* name);
// The colour at a point of the client area, as a COLORREF; CLR_INVALID when outside.
COLORREF ColourAt(const Screen& screen, int x, int y);

// appearance.cpp
void CheckAppearance(const Started& run);
// The colours of the idle window, or of the running picture during a run.
void CheckIdleColours(const Screen& screen);
void CheckRunningColours(const Screen& screen);
// A message box's icon, at its place in the client area, is the error icon.
void CheckErrorIcon(const Screen& screen, const RECT& icon);
