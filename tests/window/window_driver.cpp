// Drives the window program from outside, as a user would: starts it in a
// folder, finds its windows by title and identifier, presses buttons, chooses
// menu items, and checks texts, states, menus, looks and the files it leaves.
// Usage: window_driver <program> <folder> <signal folder> <probe library> <report opener>
#include "tests/window/window_driver.h"

#include "ui/portable/window_texts.h"

#include <cstdio>

namespace {

const wchar_t* const Title = L"Corvasta V1.1.0 x64";
const wchar_t* const InProgress = L"Folder Sequential Benchmark in progress...";
const wchar_t* const StoppingText = L"Stopping benchmark...";
const wchar_t* const StoppedText = L"Stopping benchmark...Benchmark stopped by user.";
const wchar_t* const CompletedText = L"Benchmark completed - HTML log saved in the benchmark folder.";
const wchar_t* const WaitText = L"Wait...   ";

// The test script keeps files under 384 MiB: a 256 MiB test file fits, a
// 512 MiB one cannot get its size, as on a full disk.
const int FittingSizeIndex = 0;
const int RefusedSizeIndex = 1;
const wchar_t* const RefusedSizeText = L"512MiB";

void CheckDriveFields(const Started& run) {
    static const int fields[] = {82, 86, 90};
    for (int id : fields) {
        const std::wstring text = ControlText(run, id);
        Check(!text.empty(), "drive field " + std::to_string(id) + " shows " + Narrow(text));
    }
    const std::wstring capacity = ControlText(run, 90);
    Check(capacity == L"Unknown" || capacity.find(L"B (") != std::wstring::npos,
          "capacity is a capacity text or Unknown");
}

void ChooseSettings(const Started& run, int passIndex, int sizeIndex) {
    SendMessageW(Control(run, 2), CB_SETCURSEL, static_cast<WPARAM>(passIndex), 0);
    SendMessageW(Control(run, 3), CB_SETCURSEL, static_cast<WPARAM>(sizeIndex), 0);
}

void PressStart(const Started& run) {
    PostMessageW(Control(run, 5), BM_CLICK, 0, 0);
}

void CheckRunningState(const Started& run) {
    HWND picture = Control(run, 77);
    Check(!IsWindowVisible(Control(run, 5)) && picture && IsWindowVisible(picture),
          "running: start button hidden, running picture 77 shown");
    Check(!IsWindowEnabled(Control(run, 2)) && !IsWindowEnabled(Control(run, 3)) &&
              IsWindowEnabled(Control(run, 0)) && !IsWindowEnabled(Control(run, 44)),
          "running: lists disabled, STOP enabled, report button disabled");
    Check(ControlText(run, 9) == WaitText && ControlText(run, 10) == WaitText, "running: displays say Wait...");
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

void CheckStatusLog(const std::vector<std::wstring>& expected, const std::string& what) {
    const std::vector<std::wstring> seen = StatusLog();
    Check(seen == expected, what);
    if (seen == expected) return;
    for (const std::wstring& text : seen) std::printf("     status: %s\n", Narrow(text).c_str());
}

void FirstStart() {
    std::printf("-- first start in an empty folder\n");
    Started run = Start();
    AnswerBox(run, L"Help", FirstStartHelpText(), "first-start help");
    Check(ReadBytes(Path(L"First_Help_Tag")) == "help\r\n", "First_Help_Tag holds help CR LF");
    if (run.main) {
        CheckAppearance(run);
        CheckDriveFields(run);
        CheckIdleColours(Screenshot(run, L"window-idle"));
        PostMessageW(run.main, WM_COMMAND, 20, 0);
        AnswerBox(run, L"Help", HelpText(), "Help menu item");
        PostMessageW(run.main, WM_COMMAND, 21, 0);
        AnswerBox(run, L"About", AboutText(), "About menu item");
        PostMessageW(run.main, WM_CLOSE, 0, 0);
        Check(WaitForExit(run, 10000) == 0, "close box while idle ends the program with 0");
    }
    Finish(run);
}

void SetDefaultValue(const std::wstring& key, const std::wstring& value) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

// The report opener stands in for the browser in the test's own Wine prefix.
void CheckOpenReport(const Started& run, const std::wstring& report) {
    SetDefaultValue(L".html", L"CorvastaTests.Report");
    SetDefaultValue(L"CorvastaTests.Report\\shell\\open\\command", L"\"" + Setup.reportOpener + L"\" \"%1\"");
    const std::wstring opened = Setup.reportOpener + L".txt";
    DeleteFileW(opened.c_str());
    PostMessageW(Control(run, 44), BM_CLICK, 0, 0);
    std::vector<std::wstring> lines;
    WaitFor([&] { return (lines = ReadLines(opened)).size() == 2; }, 20000);
    Check(lines.size() == 2 && lines[0] == Path(report),
          "the report button opens the latest report with the program registered for HTML");
    Check(lines.size() == 2 && lines[1] + L"\\" == Setup.folder, "the report opens in the report's folder");
}

void StoppedAndCompletedRuns() {
    std::printf("-- second start: a stopped run, then a whole run\n");
    Started run = Start();
    if (!run.main) return Finish(run);
    Check(!WaitFor([&] { return FindBox(run, L"Help") != nullptr; }, 3000), "no help box at the second start");

    ChooseSettings(run, 1, FittingSizeIndex);
    PressStart(run);
    WaitForStatus(run, {InProgress}, 20000);
    CheckRunningState(run);
    PostMessageW(Control(run, 0), BM_CLICK, 0, 0);
    Check(WaitForStatus(run, {StoppedText}, 30000) == StoppedText, "stop ends the run as stopped");
    Check(ControlText(run, 9) == L"-.--   " && ControlText(run, 10) == L"-.--   ",
          "stopped: both displays show -.--");
    Check(!IsWindowEnabled(Control(run, 44)), "stopped: report button disabled");
    CheckIdleAgain(run);
    const std::vector<std::wstring> left = FolderEntries();
    Check(left.size() == 1 && left[0] == L"First_Help_Tag", "stopped: only the help marker is left");

    PressStart(run);
    WaitForStatus(run, {InProgress}, 20000);
    PostMessageW(run.main, WM_CLOSE, 0, 0);
    PostMessageW(run.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    WaitForStatus(run, {CompletedText, StoppedText}, 240000);
    Check(IsWindow(run.main), "the close box during a run does nothing");
    CheckStatusLog({InProgress, StoppingText, StoppedText, InProgress, L"Read 1/2", L"Read 2/2",
                    L"Read Completed. Writing between 5 seconds...",
                    L"Read Completed. Writing between 4 seconds...",
                    L"Read Completed. Writing between 3 seconds...",
                    L"Read Completed. Writing between 2 seconds...",
                    L"Read Completed. Writing between 1 seconds...", L"Preparing write test...",
                    L"Write 1/2", L"Write 2/2", CompletedText},
                   "the status line goes through every step of a stopped and a whole run in order");
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
    CheckOpenReport(run, report);
    PostMessageW(run.main, WM_CLOSE, 0, 0);
    Check(WaitForExit(run, 10000) == 0, "after the outcome the close box ends the program");
    Finish(run);
}

// Waits for the outcome of a run that fails and returns its status text.
std::wstring WaitForFailure(const Started& run) {
    std::wstring shown;
    WaitFor([&] { return (shown = ControlText(run, 11)).compare(0, 7, L"Error: ") == 0; }, 60000);
    WaitFor([&] { return IsWindowVisible(Control(run, 5)) != FALSE; }, 10000);
    return shown;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A run that fails before its first pass keeps a report with the read
// table's head, then the ERROR block, and no write section.
void CheckErrorReport(const std::wstring& errorText) {
    const std::wstring report = FindEntry(L"corvasta_", std::wstring(L"_SEQ1MQ8T1_") + RefusedSizeText + L".html");
    const std::string text = ReadBytes(Path(report));
    const std::string tail =
        "<tr><th width='33%'>PASS</th><th width='34%'>SPEED</th><th width='33%'>BENCHMARK TIME</th></tr>\r\n"
        "</table>\r\n</td></tr>\r\n<tr><td align=\"center\">\r\n<h2>ERROR</h2>\r\n<p><b>" +
        Narrow(errorText) + "</b></p>\r\n</td></tr>\r\n</table>\r\n</body>\r\n</html>\r\n";
    Check(!report.empty() && EndsWith(text, tail) && text.find("WRITE TEST") == std::string::npos,
          "failed: the report " + Narrow(report) + " is kept with the ERROR block");
}

// Folders named as the reports of the coming minute, so that the next run
// cannot create its report. They start with the next second, which no
// earlier report can have in its name.
std::vector<std::wstring> BlockReports() {
    std::vector<std::wstring> names;
    SYSTEMTIME clock{};
    GetSystemTime(&clock);
    Sleep(1000u - clock.wMilliseconds);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    for (int second = 0; second < 60; ++second) {
        ULARGE_INTEGER at{{now.dwLowDateTime, now.dwHighDateTime}};
        at.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(second) * 10000000);
        const FILETIME utc{at.LowPart, at.HighPart};
        FILETIME local{};
        SYSTEMTIME time{};
        FileTimeToLocalFileTime(&utc, &local);
        FileTimeToSystemTime(&local, &time);
        wchar_t name[96];
        std::swprintf(name, 96, L"corvasta_%02u%02u%04u%02u%02u%02u_SEQ1MQ8T1_%ls.html", time.wDay, time.wMonth,
                      time.wYear, time.wHour, time.wMinute, time.wSecond, RefusedSizeText);
        if (CreateDirectoryW(Path(name).c_str(), nullptr)) names.push_back(name);
    }
    return names;
}

// The picture control of a message box that shows an icon, or null.
HWND IconOf(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        DWORD_PTR icon = 0;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
            SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_BLOCK, 2000, &icon) && icon) {
            return child;
        }
    }
    return nullptr;
}

void CheckReportBox(const Started& run) {
    const std::wstring text = L"Impossibile creare il log HTML in:\r\n" + Setup.folder + L"\r\n\r\nErrore Windows: 5";
    HWND box = nullptr;
    WaitFor([&] { return (box = FindBox(run, Title)) != nullptr; }, 20000);
    HWND icon = box ? IconOf(box) : nullptr;
    Check(icon != nullptr, "report cannot be created: the box shows an icon");
    // Owned, the box stays above the window: a click on the window cannot bury it.
    Check(box && GetWindow(box, GW_OWNER) == run.main, "the report box is owned by the main window");
    if (icon) {
        // The box stands over the middle of the window, where the screenshot sees it.
        RECT place{};
        GetWindowRect(icon, &place);
        MapWindowPoints(nullptr, run.main, reinterpret_cast<POINT*>(&place), 2);
        CheckErrorIcon(Screenshot(run, L"report-box"), place);
    }
    AnswerBox(run, Title, text, "report cannot be created");
}

void FailedRuns() {
    std::printf("-- a run that fails, then a run whose report cannot be created\n");
    Started run = Start();
    if (!run.main) return Finish(run);
    ChooseSettings(run, 0, RefusedSizeIndex);
    PressStart(run);
    const std::wstring failed = WaitForFailure(run);
    const std::wstring errorText = failed.compare(0, 7, L"Error: ") == 0 ? failed.substr(7) : L"";
    Check(errorText.compare(0, 39, L"Unable to set file size (Windows Error ") == 0 && errorText.back() == L')',
          "failed: the status line shows the error: " + Narrow(failed));
    Check(ControlText(run, 9) == WaitText && ControlText(run, 10) == WaitText,
          "failed: the displays keep Wait...");
    Check(!IsWindowEnabled(Control(run, 44)), "failed: report button disabled");
    CheckIdleAgain(run);
    CheckErrorReport(errorText);
    Check(FindEntry(L"corvastatmp", L"").empty() && !Exists(L"result_something_happened.txt"),
          "failed: no temporary folder and no recovery marker");

    const size_t before = FolderEntries().size();
    const std::vector<std::wstring> blockers = BlockReports();
    PressStart(run);
    CheckReportBox(run);
    Check(WaitForFailure(run) == failed, "after the box the run goes on, here to the same failure");
    bool kept = true;
    for (const std::wstring& name : blockers) kept = kept && Exists(name);
    Check(kept && FolderEntries().size() == before + blockers.size(),
          "no report was written and nothing the program did not create was deleted");
    for (const std::wstring& name : blockers) RemoveDirectoryW(Path(name).c_str());
    CheckStatusLog({InProgress, failed, InProgress, failed}, "the status line of the two failed runs");
    PostMessageW(run.main, WM_CLOSE, 0, 0);
    WaitForExit(run, 10000);
    Finish(run);
}

// A fresh start with a run under way, in its read pass or just after it.
Started StartReadingRun() {
    Started run = Start();
    if (!run.main) return run;
    ChooseSettings(run, 0, FittingSizeIndex);
    PressStart(run);
    WaitForStatus(run, {L"Read 1/1", L"Read Completed. Writing between 5 seconds..."}, 120000);
    return run;
}

void ExitDuringRunThenRecover() {
    std::printf("-- Exit during a run, then the next start cleans up\n");
    const size_t before = FolderEntries().size();
    Started run = StartReadingRun();
    if (!run.main) return Finish(run);
    CheckRunningColours(Screenshot(run, L"window-running"));
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

// The driver plays the session's end as Windows sends it: each top-level
// window gets WM_QUERYENDSESSION, then WM_ENDSESSION with wParam the answer;
// the session may end, and the process with it, any time after the window has
// returned from WM_ENDSESSION. A program that takes more than 5 seconds there
// is shown to the user, with its ShutdownBlockReasonCreate text, who may go on
// or cancel. A run in progress must be stopped and its files gone by the time
// WM_ENDSESSION returns.
void LogoffDuringRun() {
    std::printf("-- logoff during a run\n");
    const size_t before = FolderEntries().size();
    Started run = StartReadingRun();
    if (!run.main) return Finish(run);
    Check(!FindEntry(L"corvastatmp", L"").empty(), "logoff: the run has its temporary folder");
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(run.main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer);
    Check(answer == TRUE, "logoff: the window lets the session end");
    SendMessageTimeoutW(run.main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 40000, &answer);
    // Windows may end the process as soon as WM_ENDSESSION returns: so does
    // the driver, after a moment for the process to finish its own exit.
    Check(WaitForExit(run, 2000) == 0, "logoff: the program has ended when WM_ENDSESSION returns");
    Finish(run);
    Check(FolderEntries().size() == before && !Exists(L"result_something_happened.txt"),
          "logoff: the run's folder, test file, marker and report are gone");
}

std::wstring WithBackslash(std::wstring folder) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        std::printf("usage: window_driver <program> <folder> <signal folder> <probe library> <report opener>\n");
        return 2;
    }
    Setup = {argv[1], WithBackslash(argv[2]), WithBackslash(argv[3]), argv[4], argv[5]};
    FirstStart();
    StoppedAndCompletedRuns();
    FailedRuns();
    ExitDuringRunThenRecover();
    LogoffDuringRun();
    std::printf("%d failure(s)\n", Failures);
    return Failures == 0 ? 0 : 1;
}
