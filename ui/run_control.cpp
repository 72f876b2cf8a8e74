// The event loop: starting and stopping runs, the worker's progress and
// outcome, the menu, and the end of the process.
#include "ui/window_state.h"

#include "engine/benchmark_run.h"
#include "engine/status_text.h"
#include "platform/text.h"
#include "report/report.h"
#include "ui/portable/window_texts.h"

#include <shellapi.h>

namespace {

// Runs on the worker thread: it only posts, or shows its own modal box.
void PostWorkerEvent(int64_t event, int64_t data) {
    PostMessageW(Window.mainWindow, WorkerEventMessage, static_cast<WPARAM>(event),
                 static_cast<LPARAM>(data));
}

// Owned by the main window, the box stays in front of it: a click on the
// window cannot bury it while the worker waits for its answer.
void ShowReportError(const std::wstring& message) {
    MessageBoxW(Window.mainWindow, message.c_str(), ProgramTitle, MB_ICONERROR | MB_OK);
}

const RunEventSink WindowSink{PostWorkerEvent, ShowReportError};

DWORD WINAPI WorkerEntry(LPVOID) {
    BenchmarkThread(WindowSink);
    return 0;
}

void SetText(HWND control, const std::wstring& text) {
    SetWindowTextW(control, text.c_str());
}

// Each run gets a fresh picture control in the start button's place.
void ShowRunningPicture() {
    if (Window.runningPictureControl) DestroyWindow(Window.runningPictureControl);
    Window.runningPictureControl = CreateWindowExW(
        0, L"Static", L"", WS_CHILD | SS_BITMAP | SS_NOTIFY, 16, 12, 200, 158, Window.mainWindow,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(RunningPictureControlId)), GetModuleHandleW(nullptr),
        nullptr);
    if (!Window.runningPictureControl) return;
    SendMessageW(Window.runningPictureControl, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(Window.runningPicture));
    ShowWindow(Window.runningPictureControl, SW_SHOW);
}

void RequestStop() {
    StopRequested.store(1, std::memory_order_relaxed);
    EnableWindow(Window.stopButton, FALSE);
    SetText(Window.statusLine, StoppingStatusText);
}

// This program runs elevated: a browser it started itself would run as the
// administrator. The desktop's shell starts it as the desktop's user; where
// there is no such shell, the program starts it. A long path takes the
// extended form, as every file call's does; a long folder is no current
// directory for the browser, which keeps the 260-character limit there.
void OpenLatestReport() {
    const std::wstring path = ExtendedLengthPath(ReportPath, L"");
    const size_t separator = ReportPath.find_last_of(L"\\/");
    const std::wstring folder =
        separator == std::wstring::npos || separator + 1 >= MAX_PATH ? L"" : ReportPath.substr(0, separator + 1);
    if (OpenAsDesktopUser(path, folder)) return;
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_FLAG_NO_UI;
    request.hwnd = Window.mainWindow;
    request.lpFile = path.c_str();
    request.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    request.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&request);
}

// Start clicks stay ignored from here until the run's outcome is written.
void StartRun() {
    Window.takesStartClicks = false;
    StopRequested.store(0, std::memory_order_relaxed);
    CurrentRun.passCount = ReadPassCount();
    CurrentRun.testSizeMiB = ReadTestSizeMiB();
    CurrentRun.folder = ReadBenchmarkFolder();
    CurrentRun.result = RunResult{};
    CurrentRun.liveReadMBps = 0.0;
    CurrentRun.liveWriteMBps = 0.0;
    CurrentRun.livePhase = 0;
    CurrentRun.livePass = 0;
    SetText(Window.readSpeedDisplay, L"Wait...   ");
    SetText(Window.writeSpeedDisplay, L"Wait...   ");
    SetRunningState(true);
    DWORD threadId = 0;
    Window.workerHandle = CreateThread(nullptr, 0, WorkerEntry, nullptr, 0, &threadId);
    if (!Window.workerHandle) {
        SetRunningState(false);
        SetText(Window.statusLine, ErrorStatusText(L"Unable to create thread."));
        Window.takesStartClicks = true;
        return;
    }
    Window.workerThread = threadId;
}

void ShowPass() {
    if (CurrentRun.livePhase == 1) {
        SetText(Window.readSpeedDisplay, FormatSpeed(CurrentRun.liveReadMBps));
    } else if (CurrentRun.livePhase == 2) {
        SetText(Window.writeSpeedDisplay, FormatSpeed(CurrentRun.liveWriteMBps));
    } else {
        return;
    }
    SetText(Window.statusLine,
            PassStatusText(CurrentRun.livePhase, CurrentRun.livePass, CurrentRun.passCount));
}

void ShowOutcome() {
    Window.workerThread = 0;
    if (Window.workerHandle) CloseHandle(Window.workerHandle);
    Window.workerHandle = nullptr;
    SetRunningState(false);
    const RunResult& result = CurrentRun.result;
    if (result.stopped) {
        EnableWindow(Window.openReportButton, FALSE);
        SetText(Window.readSpeedDisplay, L"-.--   ");
        SetText(Window.writeSpeedDisplay, L"-.--   ");
        SetText(Window.statusLine, StoppedStatusText);
        ProcessPendingMessages();
    } else if (result.errorText.empty()) {
        SetText(Window.readSpeedDisplay, FormatSpeed(CurrentRun.liveReadMBps));
        SetText(Window.writeSpeedDisplay, FormatSpeed(CurrentRun.liveWriteMBps));
        SetText(Window.statusLine, CompletedStatusText);
        EnableWindow(Window.openReportButton, TRUE);
    } else {
        EnableWindow(Window.openReportButton, FALSE);
        SetText(Window.statusLine, ErrorStatusText(result.errorText));
    }
    Window.takesStartClicks = true;
}

void HandleWorkerEvent(WPARAM event, LPARAM data) {
    switch (static_cast<int64_t>(event)) {
    case PassDoneEvent: ShowPass(); break;
    case CountdownEvent: SetText(Window.statusLine, CountdownStatusText(data)); break;
    case RunFinishedEvent: ShowOutcome(); break;
    default: break;
    }
}

void HandleMenu(int id) {
    if (id == ExitMenuId) ShutDown();
    if (id == HelpMenuId) ShowHelp();
    if (id == AboutMenuId) ShowAbout();
}

void HandleControl(int id, int notification) {
    if (notification != BN_CLICKED) return;
    if (id == StopButtonId && Window.workerThread != 0) RequestStop();
    if (id == OpenReportButtonId) OpenLatestReport();
    if (id == StartButtonId && Window.takesStartClicks && Window.workerThread == 0) StartRun();
}

// What the shutdown screen shows while the run ends.
constexpr const wchar_t* EndingRunReason = L"Stopping the benchmark and removing its test file";
// Past this the run's leftovers are for the next start's recovery.
constexpr DWORD EndingRunWaitMs = 30000;

// A logoff or shutdown: the run stops and removes its test file, folder,
// marker and report before the process goes. Messages sent to this thread
// are answered meanwhile, as the worker's own box may send some.
void EndRunForSession(HWND window) {
    if (Window.workerHandle) {
        StopRequested.store(1, std::memory_order_relaxed);
        const DWORD deadline = GetTickCount() + EndingRunWaitMs;
        MSG message;
        for (LONG left = EndingRunWaitMs; left > 0; left = static_cast<LONG>(deadline - GetTickCount())) {
            if (MsgWaitForMultipleObjects(1, &Window.workerHandle, FALSE, static_cast<DWORD>(left),
                                          QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1)
                break;
            // Peeking answers the messages sent to this thread.
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        }
        if (WaitForSingleObject(Window.workerHandle, 0) == WAIT_OBJECT_0) Window.workerThread = 0;
    }
    ShutdownBlockReasonDestroy(window);
    ShutDown();
}

// Windows ends the session once every program has returned from
// WM_ENDSESSION, and may end this process any time after that; a block
// reason tells the user why it takes a moment.
LRESULT OnQueryEndSession(HWND window) {
    if (Window.workerThread != 0) {
        ShutdownBlockReasonCreate(window, EndingRunReason);
        RequestStop();
    }
    return TRUE;
}

void OnEndSession(HWND window, bool ending) {
    if (ending) EndRunForSession(window);
    ShutdownBlockReasonDestroy(window);
}

LRESULT WhiteBackground(HDC dc, HWND control, HWND window, LPARAM lParam) {
    const int id = GetDlgCtrlID(control);
    if (id == PassCountListId || id == TestSizeListId) {
        return DefWindowProcW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), lParam);
    }
    SetBkColor(dc, 0xFFFFFF);
    return reinterpret_cast<LRESULT>(Window.whiteBrush);
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WorkerEventMessage:
        HandleWorkerEvent(wParam, lParam);
        return 0;
    case WM_COMMAND:
        if (lParam == 0) {
            HandleMenu(LOWORD(wParam));
        } else {
            HandleControl(LOWORD(wParam), HIWORD(wParam));
        }
        return 0;
    case WM_QUERYENDSESSION:
        return OnQueryEndSession(window);
    case WM_ENDSESSION:
        OnEndSession(window, wParam != FALSE);
        return 0;
    case WM_CLOSE:
        // A run in progress keeps the window open; only "Exit" abandons it.
        if (Window.workerThread == 0) ShutDown();
        return 0;
    case WM_DRAWITEM:
        if (wParam == StartButtonId) {
            DrawPictureButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), Window.startPicture);
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
        return WhiteBackground(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), window,
                               lParam);
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int64_t ReadPassCount() {
    const LRESULT index = SendMessageW(Window.passCountList, CB_GETCURSEL, 0, 0);
    wchar_t text[16] = {};
    if (index == CB_ERR || SendMessageW(Window.passCountList, CB_GETLBTEXTLEN, index, 0) >= 16) {
        return 0;
    }
    SendMessageW(Window.passCountList, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return PassCountFromText(text);
}

int64_t ReadTestSizeMiB() {
    return TestSizeMiBForIndex(SendMessageW(Window.testSizeList, CB_GETCURSEL, 0, 0));
}

std::wstring ReadBenchmarkFolder() {
    const int length = GetWindowTextLengthW(Window.folderField);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(Window.folderField, text.data(), length + 1)));
    return text;
}

void SetRunningState(bool running) {
    ShowWindow(Window.startButton, SW_HIDE);
    const BOOL enable = running ? FALSE : TRUE;
    EnableWindow(Window.startButton, enable);
    EnableWindow(Window.passCountList, enable);
    EnableWindow(Window.testSizeList, enable);
    EnableWindow(Window.openReportButton, FALSE);
    ProcessPendingMessages();
    if (running) {
        EnableWindow(Window.stopButton, TRUE);
        ShowRunningPicture();
        SetText(Window.statusLine, InProgressStatusText);
    } else {
        EnableWindow(Window.stopButton, FALSE);
        SetText(Window.startButton, L"START");
        ShowWindow(Window.startButton, SW_SHOW);
        if (Window.runningPictureControl) ShowWindow(Window.runningPictureControl, SW_HIDE);
    }
    ProcessPendingMessages();
}

void RunEventLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchWindowMessage(message);
    ShutDown();
}

void ShutDown() {
    if (Window.workerHandle) CloseHandle(Window.workerHandle);
    if (Window.mainWindow) DestroyWindow(Window.mainWindow);
    const HGDIOBJ objects[] = {Window.defaultFont,  Window.speedFont,      Window.captionFont,
                               Window.buttonFont,   Window.startFont,      Window.startPicture,
                               Window.runningPicture, Window.whiteBrush};
    for (HGDIOBJ object : objects) {
        if (object) DeleteObject(object);
    }
    // A worker still running owns the report; ending the process closes it.
    if (Window.workerThread == 0 && ReportFile != INVALID_HANDLE_VALUE) CloseHandle(ReportFile);
    ExitProcess(static_cast<UINT>(Window.exitCode));
}
