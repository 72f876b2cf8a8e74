// The window side's process-wide record: the main window, its controls,
// fonts and pictures, and the worker it runs. Only the user-interface thread
// touches it, except MainWindow, which the worker reads to post its events.
#pragma once

#include "platform/platform.h"

#include <string>

// Control and menu identifiers.
enum : int {
    StopButtonId = 0,
    PassCountListId = 2,
    TestSizeListId = 3,
    FolderFieldId = 4,
    StartButtonId = 5,
    ReadCaptionId = 7,
    WriteCaptionId = 8,
    ReadSpeedDisplayId = 9,
    WriteSpeedDisplayId = 10,
    StatusLineId = 11,
    PassCountLabelId = 12,
    TestSizeLabelId = 13,
    OpenReportButtonId = 44,
    RunningPictureControlId = 77,
    ManufacturerLabelId = 80,
    ManufacturerFieldId = 82,
    ModelLabelId = 84,
    ModelFieldId = 86,
    CapacityLabelId = 88,
    CapacityFieldId = 90,
    FolderLabelId = 92,
    ExitMenuId = 15,
    OtherDrivesMenuId = 16,
    NvmeMenuId = 17,
    FlashMenuId = 18,
    HelpMenuId = 20,
    AboutMenuId = 21,
    DefaultProfileMenuId = 22,
};

// The worker's events arrive as this message, the event number in wParam
// and its data in lParam (numbers above 0xFFFF are reserved as messages).
constexpr UINT WorkerEventMessage = WM_APP + 1;

struct WindowRecord {
    HWND mainWindow = nullptr;
    HWND startButton = nullptr;
    HWND stopButton = nullptr;
    HWND openReportButton = nullptr;
    HWND passCountList = nullptr;
    HWND testSizeList = nullptr;
    HWND readSpeedDisplay = nullptr;
    HWND writeSpeedDisplay = nullptr;
    HWND folderField = nullptr;
    HWND statusLine = nullptr;
    HWND runningPictureControl = nullptr;  // exists from the first run on
    HMENU menuBar = nullptr;
    HBRUSH whiteBrush = nullptr;
    HFONT defaultFont = nullptr;
    HFONT speedFont = nullptr;
    HFONT captionFont = nullptr;
    HFONT buttonFont = nullptr;
    HFONT startFont = nullptr;
    HBITMAP startPicture = nullptr;
    HBITMAP runningPicture = nullptr;
    DWORD workerThread = 0;  // 0 while no run is in progress
    // Set only while the window is whole and idle. Building, starting a run
    // and writing an outcome each pump messages part-way, and a start click
    // queued behind them must not start a run in the middle of that work.
    bool takesStartClicks = false;
    HANDLE workerHandle = nullptr;
    int exitCode = 0;
    std::wstring folderText;  // the current directory with its trailing backslash
};

extern WindowRecord Window;

// main_window.cpp
bool BuildMainWindow();
void DispatchWindowMessage(MSG& message);
void ProcessPendingMessages();

// picture_button.cpp
void DrawPictureButton(const DRAWITEMSTRUCT& item, HBITMAP picture);

// picture_decode.cpp: a PNG resource of type RCDATA as a 24-bit bitmap, or null.
HBITMAP DecodePictureResource(const wchar_t* name);
// Opens file through the desktop's shell, as the desktop's user; false when
// there is no such shell to ask.
bool OpenAsDesktopUser(const std::wstring& file, const std::wstring& folder);

// run_control.cpp
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int64_t ReadPassCount();
int64_t ReadTestSizeMiB();
std::wstring ReadBenchmarkFolder();
void SetRunningState(bool running);
[[noreturn]] void RunEventLoop();
[[noreturn]] void ShutDown();

// help_about.cpp
void ShowFirstStartHelp();
void ShowHelp();
void ShowAbout();
